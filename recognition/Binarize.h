#pragma once

#include <cstdint>

#include "core/FilterParams.h"

namespace imvora {

// "Binarize": every pixel becomes white when its luminance reaches the threshold, black
// otherwise. The threshold is given (method 0) or taken from the luminance histogram: the n-th
// occupied level (method 1) or the quantile n/256 of the bright pixels (method 2). Works only
// with all three channels flagged.
class TBinarizeFilter : public TParamFilter {
 public:
  TBinarizeFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;
  // The threshold edit stands under the list, level with its label.
  void CreateControls(TPanel& parent) override;

  // The threshold the image would be binarized with.
  long double EffectiveThreshold(const TBitmap& bitmap) const;

  std::uint8_t Method = 0;
  std::int32_t Threshold = 128;
};

}  // namespace imvora
