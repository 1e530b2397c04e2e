#pragma once

#include <array>
#include <cstdint>

#include "core/FilterParams.h"

namespace imvora {

// LuminanceLevel(blue, green, red) from three table lookups. In extended precision every
// product of a byte and one of the double weights, and both sums, are exact multiples of
// 2^-56 below 2^8; scaled by 2^56 they are exact 64-bit integers, so the integer sum shifted
// right by 56 is the truncated luminance.
class TLuminanceTable {
 public:
  TLuminanceTable();
  int Level(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const {
    return static_cast<int>((blue_[blue] + green_[green] + red_[red]) >> 56);
  }

 private:
  std::array<std::uint64_t, 256> blue_, green_, red_;
};

// One grey value from the three channels, written into the flagged channels ("GrayScale").
class TGrayScaleFilter : public TParamFilter {
 public:
  TGrayScaleFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* MethodLabel() const { return LabelOf(0); }
  TComboBox* MethodComboBox() const { return ComboOf(0); }

  // 0 luminance, 1 minimum, 2 maximum.
  std::uint8_t Method = 0;
};

}  // namespace imvora
