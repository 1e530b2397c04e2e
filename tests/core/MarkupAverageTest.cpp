#include <gtest/gtest.h>

#include <random>

#include "tests/core/FilterReference.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using reference::Flat;
using testing::TColour;

// Pixel (x, y) takes colour x + y modulo their count: a row of the colours, or a checkerboard.
TBitmap Tiles(int w, int h, const std::vector<TColour>& colours) {
  TBitmap tiles(w, h);
  for (int i = 0; i < w * h; ++i) {
    const auto [red, green, blue] = colours[(i % w + i / w) % colours.size()];
    testing::SetPixel(tiles, i % w, i / w, red, green, blue);
  }
  return tiles;
}

// The calls run one after the other on one filter; an empty result means the picture stays.
TEST(MarkupAverageTest, RegionsTakeTheirTruncatedMean) {
  std::mt19937 random(4);
  const TBitmap noise = reference::RandomBitmap(random, 11, 7, 3);
  const std::tuple<const char*, TBitmap, TBitmap> calls[] = {
      {"MarkupAverage(YYY 16 16 16)", Flat(5, 4, 90, 60, 30), {}},
      {"MarkupAverage(YYY 0 0 0)", noise, {}},
      {"MarkupAverage(YYY 256 256 256)", noise, {}},  // beyond the range: the tolerance stays
      {"MarkupAverage(YYY 16 16 16)", Tiles(4, 4, {{0, 0, 0}, {100, 100, 100}}), {}},
      // Five pixels (10, 20, 30) and four (21, 20, 25): red 134 / 9, blue 250 / 9.
      {"MarkupAverage(YYY 16 16 16)", Tiles(3, 3, {{10, 20, 30}, {21, 20, 25}}),
       Flat(3, 3, 27, 20, 14)},
      {"MarkupAverage(YYY 255 255 255)", Tiles(4, 4, {{0, 0, 0}, {255, 255, 255}}),
       Flat(4, 4, 127, 127, 127)},
      {"MarkupAverage(YYY 1 1 1)", Tiles(2, 1, {{10, 0, 0}, {11, 0, 0}}), Flat(2, 1, 0, 0, 10)},
      // Unflagged channels do not separate regions but are averaged all the same.
      {"MarkupAverage(YNN 16 16 16)", Tiles(3, 1, {{50, 0, 255}, {50, 255, 0}, {120, 7, 9}}),
       Tiles(3, 1, {{50, 127, 127}, {50, 127, 127}, {120, 7, 9}})},
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
