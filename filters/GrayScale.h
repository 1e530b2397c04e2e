#pragma once

#include <cstdint>

#include "core/FilterParams.h"
#include "core/Lanes.h"

namespace imvora {

// The grey level of method 0 (luminance), 1 (minimum) or 2 (maximum) written into the flagged
// bytes (in byte order: blue, green, red) of the `width` pixels of a row.
void GreyRow(std::uint8_t* row, int width, int method, const bool flagged[3], TLaneWidth lanes);

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
