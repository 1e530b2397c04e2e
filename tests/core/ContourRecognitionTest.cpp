#include <gtest/gtest.h>

#include "core/Controls.h"
#include "recognition/ContourRecognition.h"
#include "tests/core/FilterReference.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using testing::PixelAt;
using TBoxes = std::vector<std::vector<int>>;

// A disc, a ring, a bar below the disc with the same leftmost column and a thin bar further
// left, black on white.
TBitmap Glyphs() {
  TBitmap picture = reference::Flat(60, 60, 255, 255, 255);
  for (int y = 0; y < 60; ++y) {
    for (int x = 0; x < 60; ++x) {
      const int disc = (x - 15) * (x - 15) + (y - 20) * (y - 20);
      const int ring = (x - 45) * (x - 45) + (y - 20) * (y - 20);
      const bool thin = x >= 1 && x <= 2 && y >= 35 && y < 59;
      const bool bar = x >= 5 && x <= 20 && y >= 40 && y < 50;
      if (disc <= 100 || (ring <= 144 && ring >= 36) || thin || bar) {
        testing::SetPixel(picture, x, y, 0, 0, 0);
      }
    }
  }
  return picture;
}

template <class T>
std::vector<int> Box(const T& b) {
  return {b.Left, b.Top, b.Right, b.Bottom};
}

TEST(ContourRecognitionTest, GlyphsLeftToRightWithTheirContourLines) {
  reference::TFilterDocument d;
  // A label map before the run: the chain's own map may take its memory and must still stay.
  ASSERT_TRUE(d.Show(Glyphs()).Run("Markup(YYY)"));
  ASSERT_TRUE(d.Run("ContourRecognition(YYY 5)"));
  const TContourSet& set = *d.doc.Contours();
  TBoxes boxes;
  std::vector<std::size_t> objects;
  for (const auto& g : set) boxes.push_back(Box(*g)), objects.push_back(g->Objects.size());
  // Equal Left keeps the raster order of the glyphs' first pixels: the disc before the bar.
  EXPECT_EQ(boxes, (TBoxes{{1, 35, 2, 58}, {5, 10, 25, 30}, {5, 40, 20, 49}, {33, 8, 57, 32}}));
  // The ring's outside comes first, then the border along its hole.
  ASSERT_EQ(objects, (std::vector<std::size_t>{1, 1, 1, 2}));
  EXPECT_EQ(Box(*set[3]->Objects[1]), (std::vector<int>{39, 14, 51, 26}));
  EXPECT_EQ(set[1]->Objects[0]->CoefCount, 20);
  // The path starts on the border, farthest from the centre (ties: first in raster order).
  const TCRContourObject& disc = *set[1]->Objects[0];
  EXPECT_EQ(std::make_pair(disc.PathX[0], disc.PathY[0]), std::make_pair(10, 0));
  EXPECT_GT(disc.PathX.size(), 30u);
  // The document shows the inverted inner contours and keeps the contour markup.
  EXPECT_EQ(PixelAt(d.Image(), 5, 20), (testing::TColour{0, 0, 0}));
  EXPECT_EQ(PixelAt(d.Image(), 15, 20), (testing::TColour{255, 255, 255}));
  EXPECT_NE(d.doc.CurrentMarkup(), nullptr);
}

TEST(ContourRecognitionControlsTest, TheCountStandsBelowTheInfoLine) {
  TContourRecognitionFilter filter;
  THeadlessPanel panel;
  filter.CreateControls(panel);
  // 32 characters of 6 pixels wrap into two lines of 13 in the panel's 8 + 84 + 8 + 48 + 8.
  EXPECT_EQ(std::make_pair(panel.ClientWidth(), filter.CountEdit()->Top()),
            std::make_pair(156, 26 + 8));
}

}  // namespace
}  // namespace imvora
