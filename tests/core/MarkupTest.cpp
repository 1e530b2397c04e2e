#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/Controls.h"
#include "core/Document.h"
#include "filters/Invert.h"
#include "recognition/Markup.h"
#include "tests/core/FakeUi.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using testing::Filled;
using testing::GreyRow;
using testing::PixelAt;
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
  TBitmap bitmap = Filled(size, size, 0, 0, 0);
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

TEST(LabelRegionsTest, DiagonalContactDoesNotJoin) {
  TBitmap checker = Filled(2, 2, 0, 0, 0);
  SetPixel(checker, 1, 0, 200, 200, 200);
  SetPixel(checker, 0, 1, 200, 200, 200);
  EXPECT_EQ(LabelRegions(&checker, kTolerance16)->Labels, (TLabels{0, 1, 2, 3}));
  EXPECT_EQ(LabelRegions(&checker, 0xFFFFFF)->Labels, (TLabels{0, 0, 0, 0}));
}

TEST(LabelRegionsTest, NoBitmapNoMap) {
  TBitmap empty(0, 3), alpha(2, 2, 32);
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
  EXPECT_EQ(markup->RegionCount, 2);
  EXPECT_EQ(markup->MeanR[0], 255u);
  EXPECT_EQ(markup->MeanR[1], 0u);
  EXPECT_EQ(markup->Area[0] + markup->Area[1], 2001u * 2001u);
  EXPECT_TRUE(*LabelRegions(&spiral, kTolerance16) == *markup) << "the runs join to the same";

  // A 4000 x 4000 region: the column sum alone exceeds 32 bits.
  const TBitmap plain = Filled(4000, 4000, 1, 2, 3);
  const auto whole = LabelRegions(&plain, 0);
  EXPECT_EQ(whole->RegionCount, 1);
  EXPECT_EQ(whole->Area[0], 16000000u);
  EXPECT_EQ(whole->CenterX[0], 1999);
  EXPECT_EQ(whole->CenterY[0], 1999);
  EXPECT_EQ(whole->MeanB[0], 3u);
}

// Records SetMarkup calls.
class TRecordingHost : public IFilterHost {
 public:
  void SetMarkup(std::unique_ptr<TMarkupData> markup) override {
    ++calls;
    last = std::move(markup);
  }
  const TMarkupData* CurrentMarkup() const override { return last.get(); }
  void SetContours(std::unique_ptr<TContourSet>) override {}
  bool RunFilterCall(const std::string&) override { return false; }
  void ReportProgress(std::int64_t, std::int64_t) override {}
  int calls = 0;
  std::unique_ptr<TMarkupData> last;
};

TEST(MarkupFilterTest, HandsTheMapToTheHostAndLeavesThePixels) {
  TMarkupFilter filter;
  TRecordingHost host;
  filter.Host = &host;
  TBitmap image = GreyRow({0, 10, 20, 30, 40});
  const TBitmap before = image;
  filter.Apply(&image, false, false, false);
  filter.Apply(nullptr, true, true, true);
  EXPECT_EQ(host.calls, 0);
  filter.Apply(&image, true, true, true);
  ASSERT_EQ(host.calls, 1);
  EXPECT_EQ(host.last->Labels, (TLabels{0, 0, 1, 1, 2}));
  EXPECT_TRUE(image.SamePixels(before));
  // Unflagged channels get tolerance 255: blue alone with tolerance 0 still splits greys.
  filter.SetParam(2, 0);
  filter.Apply(&image, false, false, true);
  EXPECT_EQ(host.last->RegionCount, 5);
  TBitmap empty;
  filter.Apply(&empty, true, true, true);
  EXPECT_EQ(host.calls, 3);
  EXPECT_EQ(host.last, nullptr);

  // Black and white split exactly at tolerance 127.
  image = Filled(6, 4, 0, 0, 0);
  for (int y = 0; y < 4; ++y) SetPixel(image, 2, y, 255, 255, 255);
  SetPixel(image, 5, 0, 255, 255, 255);
  for (int i = 0; i < 3; ++i) filter.SetParam(i, 127);
  filter.Apply(&image, true, true, true);
  EXPECT_EQ(host.last->RegionCount, 4);  // left black, white bar, right black, white corner
  EXPECT_EQ(Column(*host.last, &TRegionStatistics::Area), (TUnsigned{8, 4, 11, 1}));
}

TEST(MarkupFilterTest, ControlRules) {
  TMarkupFilter filter;
  EXPECT_EQ(filter.Name, "Markup");
  filter.SetParam(0, 256);
  filter.SetParam(1, -1);
  filter.SetParam(5, 3);
  filter.SetParam(2, 255);
  EXPECT_EQ(std::make_tuple(filter.SoftR, filter.SoftG, filter.SoftB),
            std::make_tuple(16, 16, 255));

  THeadlessPanel panel;
  filter.CreateControls(panel);
  const char* captions[3] = {"Мягкость R:", "Мягкость G:", "Мягкость B:"};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(filter.LabelOf(i)->Caption(), captions[i]);
  EXPECT_EQ(filter.EditOf(2)->Text(), "255");

  filter.EditOf(0)->UserEdited("300");
  EXPECT_EQ(filter.SoftR, 255);
  EXPECT_EQ(filter.EditOf(0)->Text(), "300");
  filter.EditOf(0)->UserEdited("-");
  EXPECT_EQ(filter.SoftR, 255);
  filter.EditOf(1)->UserEdited("-4");
  EXPECT_EQ(filter.SoftG, 0);
  filter.SetParam(1, 40);
  EXPECT_EQ(filter.EditOf(1)->Text(), "40");
  EXPECT_EQ(filter.SoftG, 40);
}

class MarkupDocumentTest : public ::testing::Test {
 protected:
  MarkupDocumentTest() {
    markup = doc.AddFilter(std::make_unique<TMarkupFilter>());
    invert = doc.AddFilter(std::make_unique<TInvertFilter>());
    doc.CurrentImage = Filled(6, 3, 200, 200, 200);
    for (int x = 0; x < 6; ++x) SetPixel(doc.CurrentImage, x, 0, 10 * x, 10 * x, 10 * x);
    doc.ShowBitmap(doc.CurrentImage);
    doc.SelectAll();
  }

  testing::TFakeUi ui;
  TDocument doc{ui};
  int markup = -1, invert = -1;
};

TEST_F(MarkupDocumentTest, AnotherFilterDropsTheMapAndTheViewThenDoesNothing) {
  const TBitmap before = doc.CurrentImage;
  doc.ApplyFilter(markup, true, true, true);
  ASSERT_NE(doc.CurrentMarkup(), nullptr);
  EXPECT_EQ(doc.CurrentMarkup()->RegionCount, 4);
  EXPECT_TRUE(doc.CurrentImage.SamePixels(before));
  doc.ApplyFilter(markup, false, false, false);
  EXPECT_EQ(doc.CurrentMarkup(), nullptr);
  ASSERT_TRUE(doc.RunFilterCall("Markup(YYY 16 16 16)"));
  ASSERT_NE(doc.CurrentMarkup(), nullptr);
  doc.ApplyFilter(invert, true, true, true);
  EXPECT_EQ(doc.CurrentMarkup(), nullptr);
  const TBitmap shown = doc.Picture();
  const int changes = ui.pictureChanges;
  doc.ShowMarkupView();
  EXPECT_TRUE(doc.Picture().SamePixels(shown));
  EXPECT_EQ(ui.pictureChanges, changes);
}

TEST_F(MarkupDocumentTest, SelectionMapIsDrawnAtTheSelectionCorner) {
  doc.SetSelection(2, 0, 4, 1);
  const TBitmap before = doc.CurrentImage;
  ASSERT_TRUE(doc.RunFilterCall("Markup(YYY 16 16 16)"));
  const TMarkupData* map = doc.CurrentMarkup();
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->Width, 3);
  EXPECT_EQ(map->Height, 2);
  // Greys 20, 30, 40 over 200s: {20, 30}, {40}, {200, 200, 200}.
  EXPECT_EQ(map->Labels, (TLabels{0, 0, 1, 2, 2, 2}));
  EXPECT_TRUE(doc.CurrentImage.SamePixels(before));
  doc.ShowMarkupView();
  // The last label is white, label 1 of 2 is 8388607 = 0x7FFFFF, the rest black.
  const testing::TColour shades[3] = {{0, 0, 0}, {127, 255, 255}, {255, 255, 255}};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 2 && x <= 4 && y <= 1;
      EXPECT_EQ(PixelAt(doc.Picture(), x, y), shades[inside ? map->Labels[y * 3 + x - 2] : 0])
          << x << "," << y;
    }
  }
}

}  // namespace
}  // namespace imvora
