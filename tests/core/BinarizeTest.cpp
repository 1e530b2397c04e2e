#include <gtest/gtest.h>

#include <algorithm>

#include "core/Controls.h"
#include "core/Document.h"
#include "recognition/Binarize.h"
#include "tests/core/FakeUi.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using testing::GreyRow;
using testing::PixelAt;
using testing::SetPixel;

// 1 for a white pixel, 0 for a black one, row 0.
std::vector<int> WhiteOf(TBitmap image, int method, int threshold) {
  TBinarizeFilter filter;
  filter.SetParam(0, method);
  filter.SetParam(1, threshold);
  filter.Apply(&image, true, true, true);
  std::vector<int> white;
  for (int x = 0; x < image.Width(); ++x) {
    const auto [r, g, b] = PixelAt(image, x, 0);
    EXPECT_TRUE((r == 0 && g == 0 && b == 0) || (r == 255 && g == 255 && b == 255));
    white.push_back(r == 255);
  }
  return white;
}

int WhiteCount(int quantile) {
  TBitmap row(256, 1);
  for (int v = 0; v < 256; ++v) SetPixel(row, v, 0, v, v, v);
  const std::vector<int> white = WhiteOf(row, 2, quantile);
  return static_cast<int>(std::count(white.begin(), white.end(), 1));
}

TEST(BinarizeTest, GivenThresholdComparesTheExtendedLuminance) {
  TBitmap colours(2, 1);
  SetPixel(colours, 0, 0, 255, 0, 0);    // pure red, L = 76.245
  SetPixel(colours, 1, 0, 0, 255, 255);  // L = 178.755
  EXPECT_EQ(WhiteOf(colours, 0, 128), (std::vector<int>{0, 1}));
  // A grey of level v lies just below v.
  EXPECT_EQ(WhiteOf(GreyRow({127, 128, 129, 255}), 0, 128), (std::vector<int>{0, 0, 1, 1}));
  EXPECT_EQ(WhiteOf(GreyRow({0, 254, 255}), 0, 255), (std::vector<int>{0, 0, 0}));
  for (const auto& [threshold, first] : {std::pair{0, 1}, {1, 0}, {-7, 1}}) {
    EXPECT_EQ(WhiteOf(GreyRow({0, 255}), 0, threshold), (std::vector<int>{first, 1})) << threshold;
  }
}

TEST(BinarizeTest, RankThresholdCountsOccupiedLevels) {
  const TBitmap five = GreyRow({10, 200, 50, 10, 90, 130});  // levels 9, 49, 89, 129, 199
  for (int rank : {0, 1}) EXPECT_EQ(WhiteOf(five, 1, rank), std::vector<int>(6, 1)) << rank;
  EXPECT_EQ(WhiteOf(five, 1, 2), (std::vector<int>{0, 1, 1, 0, 1, 1}));
  EXPECT_EQ(WhiteOf(five, 1, 100), (std::vector<int>{0, 1, 0, 0, 0, 0}));
}

TEST(BinarizeTest, QuantileThresholdSplitsByShare) {
  for (const auto& [quantile, white] :
       {std::pair{64, 64}, {128, 128}, {0, 0}, {256, 256}, {1000, 256}}) {
    EXPECT_EQ(WhiteCount(quantile), white) << quantile;
  }
}

TEST(BinarizeTest, NeedsAllThreeChannels) {
  const TBitmap row = GreyRow({3, 250});
  for (int off = 0; off < 3; ++off) {
    TBitmap image = row;
    TBinarizeFilter().Apply(&image, off != 0, off != 1, off != 2);
    EXPECT_TRUE(image.SamePixels(row));
  }
  TBinarizeFilter().Apply(nullptr, true, true, true);
}

TEST(BinarizeTest, ControlRules) {
  TBinarizeFilter filter;
  EXPECT_EQ(filter.Name, "Binarize");
  filter.SetParam(0, 128);
  filter.SetParam(0, -1);
  EXPECT_EQ(filter.Method, 0);
  filter.SetParam(0, 2);
  filter.SetParam(1, -40);
  EXPECT_EQ(filter.Method, 2);
  EXPECT_EQ(filter.Threshold, -40);

  THeadlessPanel panel;
  filter.CreateControls(panel);
  TComboBox* list = filter.ComboOf(0);
  TEdit* edit = filter.EditOf(1);
  EXPECT_EQ(filter.LabelOf(0)->Caption(), "Метод бинаризации:");
  EXPECT_EQ(filter.LabelOf(1)->Caption(), "Порог:");
  EXPECT_EQ(list->Items(),
            (std::vector<std::string>{"Пороговая /KISS/", "Порядковая", "Квантильная"}));
  EXPECT_EQ(list->ItemIndex(), 0);  // opens on item 0 whatever Method holds
  EXPECT_EQ(filter.Method, 2);
  EXPECT_EQ(edit->Text(), "-40");

  list->UserSelected(1);
  EXPECT_EQ(filter.Method, 1);
  filter.SetParam(0, 0);
  EXPECT_EQ(list->ItemIndex(), 0);
  edit->UserEdited("100000");
  EXPECT_EQ(filter.Threshold, 100000);
  edit->UserEdited("12a");
  EXPECT_EQ(filter.Threshold, 100000);
}

TEST(BinarizeTest, FilterCallWithOneNumberKeepsTheSettings) {
  testing::TFakeUi ui;
  TDocument doc(ui);
  const int index = doc.AddFilter(std::make_unique<TBinarizeFilter>());
  auto& filter = static_cast<TBinarizeFilter&>(*doc.Filter(index));
  filter.Threshold = 50;
  doc.CurrentImage = GreyRow({40, 60, 128});
  doc.ShowBitmap(doc.CurrentImage);
  doc.SelectAll();
  ASSERT_TRUE(doc.RunFilterCall("Binarize(YYY 128)"));
  EXPECT_EQ(filter.Method, 0);
  EXPECT_EQ(filter.Threshold, 50);
  EXPECT_TRUE(doc.CurrentImage.SamePixels(GreyRow({0, 255, 255})));
}

}  // namespace
}  // namespace imvora
