#include <gtest/gtest.h>

#include <random>

#include "core/Controls.h"
#include "core/Document.h"
#include "recognition/MarkupAverage.h"
#include "tests/core/FakeUi.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using testing::Colours;
using testing::Filled;
using testing::PixelAt;
using testing::SetPixel;
using testing::TColour;

TBitmap Averaged(TBitmap image, int tolerance, bool f1 = true, bool f2 = true, bool f3 = true) {
  TMarkupMeanFilter filter;
  for (int i = 0; i < 3; ++i) filter.SetParam(i, tolerance);
  filter.Apply(&image, f1, f2, f3);
  return image;
}

TBitmap Checkerboard(int size, TColour a, TColour b) {
  TBitmap board(size, size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const auto [r, g, bl] = (x + y) % 2 ? b : a;
      SetPixel(board, x, y, r, g, bl);
    }
  }
  return board;
}

TEST(MarkupAverageTest, ImagesThatStayUnchanged) {
  const TBitmap plain = Filled(5, 4, 30, 60, 90);
  EXPECT_TRUE(Averaged(plain, 16).SamePixels(plain));
  std::mt19937 random(4);
  const TBitmap noise = testing::RandomBitmap(11, 7, random, 3);
  EXPECT_TRUE(Averaged(noise, 0).SamePixels(noise));
  const TBitmap far = Checkerboard(4, {0, 0, 0}, {100, 100, 100});
  EXPECT_TRUE(Averaged(far, 16).SamePixels(far));
  TBitmap image = noise;
  TMarkupMeanFilter().Apply(&image, false, false, false);
  EXPECT_TRUE(image.SamePixels(noise));
}

TEST(MarkupAverageTest, OneRegionTakesTheTruncatedMean) {
  const TBitmap near = Checkerboard(3, {10, 20, 30}, {21, 20, 25});
  // Five pixels (10, 20, 30) and four (21, 20, 25): red 134 / 9, blue 250 / 9.
  EXPECT_EQ(Colours(Averaged(near, 16)), (std::set<TColour>{{14, 20, 27}}));
  std::mt19937 random(8);
  const TBitmap noise = testing::RandomBitmap(6, 5, random);
  EXPECT_EQ(Colours(Averaged(noise, 255)).size(), 1u);
  TBitmap pair(2, 1);
  SetPixel(pair, 0, 0, 10, 0, 0);
  SetPixel(pair, 1, 0, 11, 0, 0);
  EXPECT_EQ(PixelAt(Averaged(pair, 1), 1, 0), TColour(10, 0, 0));
}

TEST(MarkupAverageTest, UnflaggedChannelsJoinButAreStillAveraged) {
  TBitmap pair(3, 1);
  SetPixel(pair, 0, 0, 50, 0, 255);
  SetPixel(pair, 1, 0, 50, 255, 0);
  SetPixel(pair, 2, 0, 120, 7, 9);
  const TBitmap out = Averaged(pair, 16, true, false, false);
  EXPECT_EQ(PixelAt(out, 0, 0), TColour(50, 127, 127));
  EXPECT_EQ(PixelAt(out, 1, 0), TColour(50, 127, 127));
  EXPECT_EQ(PixelAt(out, 2, 0), TColour(120, 7, 9));
}

TEST(MarkupAverageTest, SharesTheToleranceControlsAndKeepsNoMap) {
  TMarkupMeanFilter filter;
  EXPECT_EQ(filter.Name, "MarkupAverage");
  filter.SetParam(0, 256);
  EXPECT_EQ(filter.SoftR, 16);
  THeadlessPanel panel;
  filter.CreateControls(panel);
  EXPECT_EQ(filter.LabelOf(2)->Caption(), "Мягкость B:");

  testing::TFakeUi ui;
  TDocument doc(ui);
  doc.CurrentImage = Checkerboard(4, {10, 20, 30}, {21, 20, 25});
  doc.ShowBitmap(doc.CurrentImage);
  doc.SelectAll();
  doc.AddFilter(std::make_unique<TMarkupFilter>());
  doc.AddFilter(std::make_unique<TMarkupMeanFilter>());
  ASSERT_TRUE(doc.RunFilterCall("Markup(YYY)"));
  ASSERT_NE(doc.CurrentMarkup(), nullptr);
  ASSERT_TRUE(doc.RunFilterCall("MarkupAverage(YYY 16 16 16)"));
  EXPECT_EQ(doc.CurrentMarkup(), nullptr);
  EXPECT_EQ(Colours(doc.CurrentImage).size(), 1u);
}

}  // namespace
}  // namespace imvora
