#pragma once

#include "filters/Gaussian.h"

namespace imvora {

// Illumination levelling ("LightAlign"): subtracts a strong Gaussian blur, the estimate of the
// lighting, and adds back the mean level of each channel.
class TLightAlignFilter : public TGaussFilter {
 public:
  TLightAlignFilter() : TGaussFilter("LightAlign", 100, 100.0) {}
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;
};

}  // namespace imvora
