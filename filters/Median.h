#pragma once

#include <cstdint>

#include "core/FilterParams.h"

namespace imvora {

// Median of each flagged byte over a (2r + 1) x (2r + 1) window cut at the bitmap's edges:
// the value at index n / 2 of the window's n sorted values (the upper middle for even n).
class TMedianFilter : public TParamFilter {
 public:
  TMedianFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* RadiusLabel() const { return LabelOf(0); }
  TEdit* RadiusEdit() const { return EditOf(0); }

  // Window half-width. SetParam stores any value; the edit raises values below 1 to 1.
  // A radius of 0 or below leaves the image as it is.
  std::int32_t Radius = 1;
};

// The median filter of one plane of w*h bytes with window half-width r >= 0; src and dst are
// different planes of the same size.
void MedianPlane(const std::uint8_t* src, std::uint8_t* dst, int w, int h, int r);

}  // namespace imvora
