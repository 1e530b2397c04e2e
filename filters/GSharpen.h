#pragma once

#include "filters/Gaussian.h"

namespace imvora {

// Unsharp masking ("GSharpen"): twice the input minus its Gaussian blur, limited to 0 ... 255.
class TGSharpenFilter : public TGaussFilter {
 public:
  TGSharpenFilter() : TGaussFilter("GSharpen", 1, 1.0) {}
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;
};

}  // namespace imvora
