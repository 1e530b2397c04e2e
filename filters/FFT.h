#pragma once

#include <cstdint>

#include "core/FilterParams.h"

namespace imvora {

// "FFT": replaces the flagged channels by their two-dimensional cosine or sine spectrum on a
// logarithmic scale ("Log DCT", "Log DST"), or turns such a spectrum back into an image
// ("IDCT Exp", "IDST Exp"). Rows and columns are transformed at their own lengths; every
// channel, flagged or not, passes through the value encodings and is rewritten.
class TFFTFilter : public TParamFilter {
 public:
  TFFTFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* TransformLabel() const { return LabelOf(0); }
  TComboBox* TransformComboBox() const { return ComboOf(0); }

  // 0 "Log DCT", 1 "Log DST", 2 "IDCT Exp", 3 "IDST Exp".
  std::uint8_t Transform = 0;
};

}  // namespace imvora
