#pragma once

#include <cstdint>
#include <vector>

#include "core/FilterParams.h"
#include "filters/InPlaceRows.h"

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
  TWindowScan Scan = TWindowScan::Fast;

 private:
  TWindowScratch scratch_;
  std::vector<std::uint8_t> plane_, filtered_;
};

// The median of byte `byte` (0 blue, 1 green, 2 red) over the window of pixel x and radius r:
// the pixels x - r ... x + r of `rows`, which hold rowCount rows of w pixels of 3 bytes, a null
// row standing for one past the bitmap's edge. `values` is working memory.
std::uint8_t WindowMedian(const std::uint8_t* const* rows, int rowCount, int w, int x, int r,
                          int byte, std::vector<std::uint8_t>& values);

}  // namespace imvora
