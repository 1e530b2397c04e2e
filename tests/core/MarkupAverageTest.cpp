#include <gtest/gtest.h>

#include <random>

#include "tests/core/FilterReference.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using testing::Filled;
using testing::TColour;

TBitmap Row(const std::vector<TColour>& colours) {
  TBitmap row(static_cast<int>(colours.size()), 1);
  for (int x = 0; x < row.Width(); ++x) {
    const auto [red, green, blue] = colours[x];
    testing::SetPixel(row, x, 0, red, green, blue);
  }
  return row;
}

TBitmap Checkerboard(int size, TColour a, TColour b) {
  TBitmap board(size, size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const auto [red, green, blue] = (x + y) % 2 ? b : a;
      testing::SetPixel(board, x, y, red, green, blue);
    }
  }
  return board;
}

// The calls run one after the other on one filter; an empty result means the picture stays.
TEST(MarkupAverageTest, RegionsTakeTheirTruncatedMean) {
  std::mt19937 random(4);
  const TBitmap noise = reference::RandomBitmap(random, 11, 7, 3);
  const std::tuple<const char*, TBitmap, TBitmap> calls[] = {
      {"MarkupAverage(YYY 16 16 16)", Filled(5, 4, 30, 60, 90), {}},
      {"MarkupAverage(YYY 0 0 0)", noise, {}},
      {"MarkupAverage(YYY 256 256 256)", noise, {}},  // beyond the range: the tolerance stays
      {"MarkupAverage(YYY 16 16 16)", Checkerboard(4, {0, 0, 0}, {100, 100, 100}), {}},
      // Five pixels (10, 20, 30) and four (21, 20, 25): red 134 / 9, blue 250 / 9.
      {"MarkupAverage(YYY 16 16 16)", Checkerboard(3, {10, 20, 30}, {21, 20, 25}),
       Filled(3, 3, 14, 20, 27)},
      {"MarkupAverage(YYY 255 255 255)", Checkerboard(4, {0, 0, 0}, {255, 255, 255}),
       Filled(4, 4, 127, 127, 127)},
      {"MarkupAverage(YYY 1 1 1)", Row({{10, 0, 0}, {11, 0, 0}}), Filled(2, 1, 10, 0, 0)},
      // Unflagged channels do not separate regions but are averaged all the same.
      {"MarkupAverage(YNN 16 16 16)", Row({{50, 0, 255}, {50, 255, 0}, {120, 7, 9}}),
       Row({{50, 127, 127}, {50, 127, 127}, {120, 7, 9}})},
  };
  reference::TFilterDocument d;
  for (const auto& [call, input, output] : calls) {
    ASSERT_TRUE(d.Show(input).Run(call));
    EXPECT_TRUE(d.Image().SamePixels(output.Empty() ? input : output)) << call;
  }
  // The label map stays private: the one "Markup" left is gone.
  ASSERT_TRUE(d.Run("Markup(YYY)"));
  ASSERT_NE(d.doc.CurrentMarkup(), nullptr);
  ASSERT_TRUE(d.Run("MarkupAverage(YYY 16 16 16)"));
  EXPECT_EQ(d.doc.CurrentMarkup(), nullptr);
}

}  // namespace
}  // namespace imvora
