#pragma once

#include <cstdint>

#include "core/FilterParams.h"

namespace imvora {

// "Wavelet": one level of the two-dimensional Haar transform of the flagged channels, or its
// inverse. Level k works on the top-left block of 2h rows and 2w columns, w and h the image's
// size halved k times; the block becomes averages (top left) and three detail quadrants stored
// offset by 128. The sign of Order is the direction: negative undoes level −Order.
class TWaveletFilter : public TParamFilter {
 public:
  TWaveletFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* OrderLabel() const { return LabelOf(0); }
  TEdit* OrderEdit() const { return EditOf(0); }
  TCheckBox* InverseCheckBox() const { return CheckOf(0); }

  // Never 0.
  std::int32_t Order = 1;
};

}  // namespace imvora
