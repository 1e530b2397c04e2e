#include <gtest/gtest.h>

#include <random>

#include "core/Controls.h"
#include "core/Filtering.h"
#include "filters/FilterCatalog.h"
#include "recognition/ContourExtraction.h"
#include "recognition/ContourImageText.h"
#include "recognition/ContourRecognition.h"
#include "recognition/Markup.h"
#include "tests/core/FakeUi.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using testing::Filled;
using testing::PixelAt;
using testing::SetPixel;

// Paints black the pixels whose squared distance from (cx, cy) lies in [inner², outer²].
void Ring(TBitmap& bitmap, int cx, int cy, int outer, int inner = 0) {
  for (int y = cy - outer; y <= cy + outer; ++y) {
    for (int x = cx - outer; x <= cx + outer; ++x) {
      const int d = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      if (d <= outer * outer && d >= inner * inner) SetPixel(bitmap, x, y, 0, 0, 0);
    }
  }
}

class ContourRecognitionTest : public ::testing::Test {
 protected:
  ContourRecognitionTest() { RegisterFilters(doc); }

  // Runs the filter on the picture, on the whole of it or on the selection given.
  const TContourSet& Run(const TBitmap& picture, std::vector<int> selection = {}) {
    doc.CurrentImage = picture;
    doc.ShowBitmap(doc.CurrentImage);
    doc.SelectAll();
    if (!selection.empty())
      doc.SetSelection(selection[0], selection[1], selection[2], selection[3]);
    EXPECT_TRUE(doc.RunFilterCall("ContourRecognition(YYY 5)"));
    return *doc.Contours();
  }
  template <class T>
  static std::vector<int> Box(const T& b) {
    return {b.Left, b.Top, b.Right, b.Bottom};
  }

  testing::TFakeUi ui;
  TDocument doc{ui};
};

// A disc, a ring, a bar below the disc with the same leftmost column, a thin bar further left.
TBitmap Glyphs() {
  TBitmap picture = Filled(60, 60, 255, 255, 255);
  Ring(picture, 15, 20, 10);
  Ring(picture, 45, 20, 12, 6);
  for (int y = 35; y < 59; ++y) {
    for (int x = 1; x <= 20; ++x) {
      if (x <= 2 || (x >= 5 && y >= 40 && y < 50)) SetPixel(picture, x, y, 0, 0, 0);
    }
  }
  return picture;
}

TEST_F(ContourRecognitionTest, GlyphsLeftToRightWithTheirContourLines) {
  const TContourSet& set = Run(Glyphs());
  std::vector<std::vector<int>> boxes;
  std::vector<std::size_t> objects;
  for (const auto& g : set) boxes.push_back(Box(*g)), objects.push_back(g->Objects.size());
  // Equal Left keeps the raster order of the glyphs' first pixels: the disc before the bar.
  EXPECT_EQ(boxes, (std::vector<std::vector<int>>{
                       {1, 35, 2, 58}, {5, 10, 25, 30}, {5, 40, 20, 49}, {33, 8, 57, 32}}));
  // The ring's outside comes first, then the border along its hole.
  ASSERT_EQ(objects, (std::vector<std::size_t>{1, 1, 1, 2}));
  EXPECT_EQ(Box(*set[3]->Objects[1]), (std::vector<int>{39, 14, 51, 26}));
  EXPECT_EQ(set[1]->Objects[0]->CoefCount, 20);
  // The document shows the inverted inner contours and keeps the contour markup.
  EXPECT_EQ(PixelAt(doc.CurrentImage, 5, 20), (testing::TColour{0, 0, 0}));
  EXPECT_EQ(PixelAt(doc.CurrentImage, 15, 20), (testing::TColour{255, 255, 255}));
  ASSERT_NE(doc.CurrentMarkup(), nullptr);
  // The path starts on the border, farthest from the centre (ties: first in raster order).
  EXPECT_EQ(std::make_pair(set[1]->Objects[0]->PathX[0], set[1]->Objects[0]->PathY[0]),
            std::make_pair(10, 0));
  EXPECT_GT(set[1]->Objects[0]->PathX.size(), 30u);
}

TEST_F(ContourRecognitionTest, SelectionBoxesAreRelativeAndOutsideStays) {
  const TBitmap picture = Glyphs();
  const TContourSet& set = Run(picture, {30, 5, 59, 35});
  ASSERT_EQ(set.size(), 1u);
  EXPECT_EQ(Box(*set[0]), (std::vector<int>{3, 3, 27, 27}));
  // Left of the selection, nothing changed.
  EXPECT_TRUE(
      CropBitmap(&doc.CurrentImage, 0, 0, 30, 60)->SamePixels(*CropBitmap(&picture, 0, 0, 30, 60)));
}

std::string Text(const TContourSet& set) {
  std::string text;
  for (const auto& image : set) text += FormatContourImage(*image) + "\n";
  return text;
}

TEST(ContourExtractionTest, SinglePassEqualsThePlainScanPerRegion) {
  std::mt19937 random(5);
  for (int round = 0; round < 20; ++round) {
    const TBitmap glyphs = testing::RandomBitmap(23, 17, random, 2);
    const TBitmap contours = testing::RandomBitmap(23, 17, random, 2);
    const auto g = LabelRegions(&glyphs, 0x7F7F7F);
    auto single = LabelRegions(&contours, 0x7F7F7F);
    TMarkupData plain = *single;
    const auto a = ExtractContours(*g, *single, 6, TRegionScan::SinglePass);
    const auto b = ExtractContours(*g, plain, 6, TRegionScan::PerRegion);
    EXPECT_EQ(Text(*a), Text(*b));
    EXPECT_EQ(single->Labels, plain.Labels);  // the same pixels visited
  }
}

TEST(ContourRecognitionControlsTest, InfoAboveTheCountWhichStaysAtLeastTwo) {
  TContourRecognitionFilter filter;
  THeadlessPanel panel;
  filter.CreateControls(panel);
  EXPECT_EQ(filter.InfoLabel()->Caption(), "\"Применить\" - загрузка контуров.");
  EXPECT_EQ(panel.ClientWidth(), 8 + 6 * 14 + 8 + 48 + 8);
  // 32 characters of 6 pixels wrap into two lines of 13 in the 156 pixels.
  EXPECT_EQ(filter.InfoLabel()->Height(), 26);
  EXPECT_EQ(filter.CountLabel()->Top(), 26 + 12);
  EXPECT_EQ(filter.CountEdit()->Top(), 26 + 8);
  for (const auto& [text, stored] : {std::pair{"1", 2}, {"0", 2}, {"x", 2}, {"7", 7}, {"", 7}}) {
    filter.CountEdit()->UserEdited(text);
    EXPECT_EQ(filter.CoefCount, stored) << text;
  }
  filter.SetParam(0, 30);
  EXPECT_EQ(filter.CoefCount, 7);
  filter.DestroyControls();
  EXPECT_EQ(filter.InfoLabel(), nullptr);
}

}  // namespace
}  // namespace imvora
