#pragma once

#include "core/Filter.h"

namespace imvora {

// Negative of the flagged channels. No parameters.
class TInvertFilter : public TImvoraFilter {
 public:
  TInvertFilter() { Name = "Invert"; }
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;
};

}  // namespace imvora
