#include <gtest/gtest.h>

#include <vector>

#include "core/Controls.h"
#include "core/Error.h"
#include "filters/KMeans.h"
#include "tests/core/FilterReference.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using reference::Flat;
using testing::PixelAt;
using testing::SetPixel;

// Red levels 0, 20, 30, 60, 100 with fixed green and blue: the second-lowest and second-highest
// red levels are 20 and 60, so two clusters start at red 20 and red 60.
TBitmap FiveReds() {
  TBitmap bitmap(5, 1);
  const int reds[5] = {0, 20, 30, 60, 100};
  for (int x = 0; x < 5; ++x) SetPixel(bitmap, x, 0, reds[x], 7, 200);
  return bitmap;
}

std::vector<int> RedsOf(const TBitmap& bitmap) {
  std::vector<int> reds;
  for (int x = 0; x < bitmap.Width(); ++x) reds.push_back(std::get<0>(PixelAt(bitmap, x, 0)));
  return reds;
}

TEST(KMeansTest, OneColourOrFewerColoursThanClustersStayUnchanged) {
  TBitmap two = Flat(4, 4, 0, 0, 0);
  for (int i = 0; i < 16; i += 3) SetPixel(two, i % 4, i / 4, 200, 100, 50);
  reference::TFilterDocument d;
  for (const TBitmap& picture : {Flat(5, 3, 30, 20, 10), two}) {
    EXPECT_TRUE(d.Show(picture).Run("kMeans(YYY 9)") && d.Image().SamePixels(picture));
  }
  std::vector<std::uint32_t> pixels(15, 0x1E140A), centres(4, 0x1E140A);
  EXPECT_EQ(ClusterizePixels(pixels.data(), 15, 4, true, false, 0, centres.data()), 1);
}

// Tolerance 0: means 16 and 80 after the first pass, which the second reproduces. 4 * 5 = 20:
// the means lie within 4 and 20 of the centres 20 and 60, so the first pass converges and the
// centres, not the means, colour the image. 4 * 1000000000 does not fit 32 bits.
TEST(KMeansTest, ConvergedPassesKeepTheirCentres) {
  const std::pair<const char*, std::vector<int>> cases[] = {
      {"kMeans(YNN 2 0)", {16, 16, 16, 80, 80}},
      {"kMeans(YNN 2 5)", {20, 20, 20, 60, 60}},
      {"kMeans(YNN 2 4)", {16, 16, 16, 80, 80}},
      {"kMeans(YNN 2 1000000000)", {20, 20, 20, 60, 60}}};
  reference::TFilterDocument d;
  for (const auto& [call, reds] : cases) {
    ASSERT_TRUE(d.Show(FiveReds()).Run(call));
    EXPECT_EQ(RedsOf(d.Image()), reds) << call;
  }
}

TEST(KMeansTest, MeasuresChooseDifferentlyAndTiesGoToTheLowestCentre) {
  // (0, 0, 100) is 100 from black and 160 from grey 60 by absolute differences, but 10000
  // against 8800 by squared differences.
  std::uint32_t centres[2] = {0, 0x3C3C3C};
  for (bool quadratic : {false, true}) {
    std::uint32_t pixel = 100;
    ClusterizePixels(&pixel, 1, 2, false, quadratic, 1000, centres);
    EXPECT_EQ(pixel, quadratic ? 0x3C3C3Cu : 0u);
  }
  std::vector<std::uint32_t> pixels(5, 20);  // equally far from 10 and 30
  std::uint32_t tied[3] = {10, 30, 10}, later[3] = {0, 30, 10};
  ClusterizePixels(pixels.data(), 5, 3, false, false, 1000, tied);
  EXPECT_EQ(pixels, std::vector<std::uint32_t>(5, 10));
  pixels.assign(5, 20);
  ClusterizePixels(pixels.data(), 5, 3, false, true, 1000, later);
  EXPECT_EQ(pixels, std::vector<std::uint32_t>(5, 30));
}

TEST(KMeansTest, CyclingMeansStopAtThePassLimit) {
  // Truncated means make these centres cycle with period 6 under the absolute measure.
  const std::vector<std::uint32_t> pixels = {
      0x000303, 0x010102, 0x020302, 0x020001, 0x010003, 0x030002, 0x030301, 0x020101, 0x010303,
      0x000103, 0x020001, 0x010300, 0x010101, 0x000203, 0x000200, 0x030000, 0x020003, 0x020103};
  const std::vector<std::uint32_t> start = {0x030200, 0x010101, 0x000202};
  auto run = [&](int limit, bool fast, std::vector<std::uint32_t>& centres) {
    std::vector<std::uint32_t> words = pixels;
    centres = start;
    return ClusterizePixels(words.data(), static_cast<std::int32_t>(words.size()), 3, fast, false,
                            0, centres.data(), limit);
  };
  std::vector<std::uint32_t> atLimit, periodLater;
  EXPECT_EQ(run(kMaxClusterPasses, true, atLimit), kMaxClusterPasses);
  EXPECT_EQ(run(kMaxClusterPasses + 6, false, periodLater), kMaxClusterPasses + 6);
  EXPECT_EQ(atLimit, periodLater);
  // A limit of one pass stops with the starting centres.
  std::vector<std::uint32_t> afterOne;
  EXPECT_EQ(run(1, false, afterOne), 1);
  EXPECT_EQ(afterOne, start);
}

TEST(KMeansTest, SumsDoNotOverflowAbove16843009Pixels) {
  // 255 * 16843010 exceeds 32 bits; a wrapped sum would give a wrong mean and another pass.
  std::vector<std::uint32_t> pixels(16843010, 0xFFFFFF);
  std::uint32_t centres[2] = {0xFFFFFF, 0xFFFFFF};
  EXPECT_EQ(ClusterizePixels(pixels.data(), static_cast<std::int32_t>(pixels.size()), 2, true,
                             false, 0, centres),
            1);
  EXPECT_EQ(pixels.front(), 0xFFFFFFu);
  EXPECT_EQ(pixels.back(), 0xFFFFFFu);
}

TEST(KMeansTest, NothingToDoAndTooManyClustersChangeNothing) {
  std::uint32_t pixel = 5, centre = 9;
  EXPECT_EQ(ClusterizePixels(&pixel, 0, 1, false, false, 0, &centre), 0);
  EXPECT_EQ(ClusterizePixels(&pixel, 1, 0, false, false, 0, &centre), 0);
  EXPECT_EQ(pixel, 5u);
  // Only a count whose tables would not fit in memory is refused, and every description of
  // the parameter names the limit.
  TkMeansFilter filter;
  TBitmap image = FiveReds();
  filter.SetParam(0, 16777217);
  try {
    filter.Apply(&image, true, true, true);
    ADD_FAILURE() << "ran with too many clusters";
  } catch (const EImvoraError& error) {
    EXPECT_NE(std::string(error.what()).find("не более 16777216"), std::string::npos);
  }
  EXPECT_TRUE(image.SamePixels(FiveReds()));
  EXPECT_EQ(filter.DescribeParams()[0].Accepts, "целое 2 ... 16777216");
  filter.SetParam(0, 70000);  // slow on a large picture, but sound
  EXPECT_NO_THROW(filter.Apply(&image, true, true, true));
}

// The measure's box opens unticked whatever Quadratic holds and decides at Apply while it exists.
TEST(KMeansTest, TheCheckBoxDecidesTheMeasure) {
  TkMeansFilter filter;
  filter.Quadratic = true;
  THeadlessPanel panel;
  filter.CreateControls(panel);
  EXPECT_FALSE(filter.CheckOf(2)->Checked());
  TBitmap image = FiveReds();
  filter.Apply(&image, true, true, true);
  EXPECT_FALSE(filter.Quadratic);
  filter.SetParam(2, 1);
  EXPECT_TRUE(filter.CheckOf(2)->Checked());
  filter.DestroyControls();
  filter.Apply(&image, true, true, true);
  EXPECT_TRUE(filter.Quadratic);
}

}  // namespace
}  // namespace imvora
