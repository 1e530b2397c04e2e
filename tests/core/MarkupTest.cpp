#include <gtest/gtest.h>

#include <vector>

#include "recognition/Markup.h"
#include "tests/core/FilterReference.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using reference::Flat;
using testing::GreyRow;
using testing::SetPixel;
using TLabels = std::vector<std::int32_t>;

constexpr std::uint32_t kTolerance16 = 0x101010;

// One statistic of every region, in label order.
template <class T>
std::vector<T> Column(const TMarkupData& markup, T TRegionStatistics::*field) {
  std::vector<T> column;
  for (std::int32_t l = 0; l < markup.RegionCount; ++l) column.push_back(markup.Region(l).*field);
  return column;
}
using TUnsigned = std::vector<std::uint32_t>;

// A one-pixel corridor winding inward from the top-left corner: every turn of the spiral is a
// new span of the same region, so a recursive fill would nest once per turn and row.
TBitmap Spiral(int size) {
  TBitmap bitmap = Flat(size, size, 0, 0, 0);
  const auto white = [&](int x, int y) { SetPixel(bitmap, x, y, 255, 255, 255); };
  int left = 0, top = 0, right = size - 1, bottom = size - 1;
  while (left <= right && top <= bottom) {
    for (int x = left; x <= right; ++x) white(x, top);
    for (int y = top; y <= bottom; ++y) white(right, y);
    if (top + 2 <= bottom) {
      for (int x = left; x <= right; ++x) white(x, bottom);
    }
    if (left + 2 <= right) {
      for (int y = top + 2; y <= bottom; ++y) white(left, y);
    }
    left += 2, top += 2, right -= 2, bottom -= 2;
    if (left <= right && top <= bottom) white(left - 1, top);
  }
  return bitmap;
}

TEST(LabelRegionsTest, BandsAreMeasuredFromTheSeedAndMeansTruncate) {
  const TBitmap row = GreyRow({0, 10, 20, 30, 40});
  const auto markup = LabelRegions(&row, kTolerance16);
  EXPECT_EQ(markup->Labels, (TLabels{0, 0, 1, 1, 2}));
  EXPECT_EQ(markup->RegionCount, 3);
  EXPECT_EQ(Column(*markup, &TRegionStatistics::MeanR), (TUnsigned{5, 25, 40}));
  EXPECT_EQ(Column(*markup, &TRegionStatistics::Area), (TUnsigned{2, 2, 1}));
  EXPECT_EQ(Column(*markup, &TRegionStatistics::MinX), (TLabels{0, 2, 4}));
  EXPECT_EQ(Column(*markup, &TRegionStatistics::MaxX), (TLabels{1, 3, 4}));
  EXPECT_EQ(Column(*markup, &TRegionStatistics::CenterX), (TLabels{0, 2, 4}));
  TBitmap pair = GreyRow({0, 0});
  SetPixel(pair, 0, 0, 10, 0, 0);
  SetPixel(pair, 1, 0, 11, 0, 0);
  EXPECT_EQ(LabelRegions(&pair, 0x010000)->MeanR[0], 10u);
}

TEST(LabelRegionsTest, DiagonalContactDoesNotJoinAndNoBitmapHasNoMap) {
  TBitmap checker = Flat(2, 2, 0, 0, 0);
  SetPixel(checker, 1, 0, 200, 200, 200);
  SetPixel(checker, 0, 1, 200, 200, 200);
  EXPECT_EQ(LabelRegions(&checker, kTolerance16)->Labels, (TLabels{0, 1, 2, 3}));
  EXPECT_EQ(LabelRegions(&checker, 0xFFFFFF)->Labels, (TLabels{0, 0, 0, 0}));
  TBitmap empty(0, 3), alpha(2, 2, 32);  // no bitmap, no map
  EXPECT_EQ(LabelRegions(nullptr, 0), nullptr);
  EXPECT_EQ(LabelRegions(&empty, 0), nullptr);
  EXPECT_EQ(LabelRegions(&alpha, 0), nullptr);
}

// Statistics of one pixel, the largest packed area and the smallest kept in full.
TEST(MarkupDataTest, PackedStatisticsReadBackAsStored) {
  const TRegionStatistics regions[] = {{255, 0, 7, 1, 4999, 2, 4999, 2, 4999, 2},
                                       {1, 2, 3, 255, 4700, 0, 4954, 2, 4800, 1},
                                       {9, 8, 7, 256, 0, 1, 4999, 2, 2500, 1}};
  const std::int32_t seeds[] = {4999, 4745, 17};
  TMarkupData data(5000, 3);
  for (int i = 0; i < 3; ++i) data.AddRegion(seeds[i], regions[i]);
  const TMarkupData copy = data;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(copy.Region(i) == regions[i]) << i;
  EXPECT_EQ(copy.MeanB[0], 7u);
  EXPECT_EQ(copy.CenterY[1], 1);
}

TEST(LabelRegionsTest, HugeWindingRegionsNeedNoCallStack) {
  const TBitmap spiral = Spiral(2001);
  const auto markup = LabelRegions(&spiral, kTolerance16, nullptr, TLabelling::Fill);
  EXPECT_EQ(Column(*markup, &TRegionStatistics::MeanR), (TUnsigned{255, 0}));
  EXPECT_EQ(markup->Area[0] + markup->Area[1], 2001u * 2001u);
  EXPECT_TRUE(*LabelRegions(&spiral, kTolerance16) == *markup) << "the runs join to the same";

  // A 4000 x 4000 region: the column sum alone exceeds 32 bits.
  const TBitmap plain = Flat(4000, 4000, 3, 2, 1);
  const auto whole = LabelRegions(&plain, 0);
  ASSERT_EQ(whole->RegionCount, 1);
  EXPECT_TRUE(whole->Region(0) ==
              (TRegionStatistics{1, 2, 3, 16000000, 0, 0, 3999, 3999, 1999, 1999}));
}

TEST(MarkupFilterTest, HandsTheDocumentTheMapOfTheFlaggedChannels) {
  reference::TFilterDocument d;
  const auto labels = [&d](const TBitmap& picture, const char* call) {
    EXPECT_TRUE(d.Show(picture).Run(call));
    return d.doc.CurrentMarkup()->Labels;
  };
  // Unflagged channels get tolerance 255, whatever theirs.
  EXPECT_EQ(labels(GreyRow({0, 10, 20, 30, 40}), "Markup(NNY 0 0 255)"), (TLabels{0, 0, 0, 0, 0}));
  // Black and white split exactly at tolerance 127: left black, white bar, right black, white
  // corner.
  TBitmap image = Flat(6, 4, 0, 0, 0);
  for (int y = 0; y < 4; ++y) SetPixel(image, 2, y, 255, 255, 255);
  SetPixel(image, 5, 0, 255, 255, 255);
  labels(image, "Markup(YYY 127 127 127)");
  EXPECT_EQ(Column(*d.doc.CurrentMarkup(), &TRegionStatistics::Area), (TUnsigned{8, 4, 11, 1}));
}

}  // namespace
}  // namespace imvora
