#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "core/Error.h"
#include "core/Filtering.h"
#include "core/Random.h"
#include "filters/AutoColor.h"
#include "filters/GaussianNoise.h"
#include "filters/GrayScale.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::Flat;
using reference::ForBytes;
using reference::RandomBitmap;

TEST(GrayScaleTest, LuminanceInEveryLaneEqualsExtendedPrecisionForEveryColour) {
  const bool all[3] = {true, true, true};
  std::vector<std::uint8_t> row(3 * 65536);
  for (TLaneWidth lanes : {TLaneWidth::Sse2, WidestLanes()}) {
    for (int r = 0; r < 256; ++r) {
      for (int i = 0; i < 65536; ++i) {
        row[3 * i] = static_cast<std::uint8_t>(i), row[3 * i + 1] = i >> 8, row[3 * i + 2] = r;
      }
      GreyRow(row.data(), 65536, 0, all, lanes);
      for (int i = 0; i < 65536; ++i) {
        if (row[3 * i] != LuminanceLevel(i & 255, i >> 8, r)) FAIL() << i << " " << r;
      }
    }
  }
}

TEST(GrayScaleTest, MethodsAndFlags) {
  const std::tuple<const char*, TBitmap, TBitmap> cases[] = {
      {"GrayScale(YYY 0)", Flat(2, 2, 255, 255, 255), Flat(2, 2, 254, 254, 254)},
      {"GrayScale(YYY 0)", Flat(1, 1, 0, 0, 255), Flat(1, 1, 76, 76, 76)},
      {"GrayScale(YNN 0)", Flat(1, 1, 255, 0, 0), Flat(1, 1, 255, 0, 29)},  // red byte only
      {"GrayScale(YYY 0)", Flat(1, 1, 1, 1, 1), Flat(1, 1, 0, 0, 0)},
      {"GrayScale(YYY 1)", Flat(1, 1, 30, 200, 10), Flat(1, 1, 10, 10, 10)},
      {"GrayScale(NNY 2)", Flat(1, 1, 30, 200, 10), Flat(1, 1, 200, 200, 10)},
  };
  reference::TFilterDocument d;
  for (const auto& [call, in, out] : cases) {
    EXPECT_TRUE(d.Show(in).Run(call) && d.Image().SamePixels(out)) << call;
  }
}

TEST(GaussianNoiseTest, DrawsRedGreenBluePixelByPixel) {
  std::mt19937 random(8);
  const TBitmap input = RandomBitmap(random, 5, 3);
  TGaussianNoiseFilter noise;
  SeedRandom(2024);
  TBitmap out = input;
  noise.Apply(&out, true, false, true);
  SeedRandom(2024);
  TBitmap expected = input;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      for (int c : {2, 0}) {
        const double s = GaussRandom(20, 128, 64);
        const long double v = std::trunc(static_cast<long double>(s) + Byte(input, x, y, c));
        Byte(expected, x, y, c) = static_cast<std::uint8_t>(std::clamp<long double>(v, 0, 255));
      }
    }
  }
  EXPECT_TRUE(out.SamePixels(expected));
}

TEST(GaussianNoiseTest, HugeDeviationsAreLimitedToTheByteRange) {
  TGaussianNoiseFilter noise;
  noise.Deviation = INT_MAX;
  SeedRandom(5);
  TBitmap image = Flat(30, 1, 128, 128, 128);
  noise.Apply(&image, true, true, true);
  int extremes = 0;
  for (int i = 0; i < 90; ++i) extremes += image.ScanLine(0)[i] == 0 || image.ScanLine(0)[i] == 255;
  EXPECT_GT(extremes, 80);
}

// Red takes `levels`; green and blue get two levels each so that their stretch is defined.
TBitmap RedLevels(const std::vector<int>& levels) {
  TBitmap image = Flat(static_cast<int>(levels.size()), 1, 4, 9, 0);
  for (int x = 0; x < image.Width(); ++x) {
    Byte(image, x, 0, 2) = static_cast<std::uint8_t>(levels[x]);
    if (x % 2) Byte(image, x, 0, 1) = 0, Byte(image, x, 0, 0) = 3;
  }
  return image;
}

TEST(AutoColorTest, ContrastStretchBetweenTheSecondLevels) {
  TAutoColorFilter color;
  TBitmap four = RedLevels({10, 20, 30, 40});
  color.Apply(&four, true, false, false);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Byte(four, x, 0, 2), x < 2 ? 0 : 255);
  TBitmap two = RedLevels({50, 100, 100, 50});
  color.Apply(&two, true, true, true);
  EXPECT_EQ(Byte(two, 0, 0, 2), 0);
  EXPECT_EQ(Byte(two, 1, 0, 2), 255);
  EXPECT_EQ(Byte(two, 0, 0, 1), 255);  // green 9 and 0
  EXPECT_EQ(Byte(two, 1, 0, 1), 0);
  // Three levels: the second from below and from above are the same middle level.
  TBitmap three = RedLevels({10, 20, 30});
  EXPECT_THROW(color.Apply(&three, true, true, true), EImvoraError);
}

TEST(AutoColorTest, GreyWorldBalancesTheMeans) {
  TBitmap image = Flat(4, 1, 150, 0, 100);  // means: red 100, green 50, blue 150
  Byte(image, 2, 0, 1) = 70, Byte(image, 3, 0, 1) = 130;
  const auto stretch = GreyWorld(image);
  EXPECT_EQ(stretch[2].Factor, 1.0L);
  EXPECT_EQ(stretch[1].Factor, 2.0L);
  EXPECT_NEAR(static_cast<double>(stretch[0].Factor), 0.6667, 5e-5);
  TAutoColorFilter color;
  color.SetParam(0, 1);
  color.Apply(&image, true, true, true);
  // Green 70 · 2 and 130 · 2 = 260 limited; red and blue 100.
  EXPECT_EQ((std::vector<int>{Byte(image, 2, 0, 1), Byte(image, 3, 0, 1), Byte(image, 0, 0, 2),
                              Byte(image, 0, 0, 0)}),
            (std::vector<int>{140, 255, 100, 100}));
  TBitmap noRed = Flat(1, 1, 200, 100, 0);  // a channel that is 0 everywhere stays 0
  color.Apply(&noRed, true, true, true);
  EXPECT_TRUE(noRed.SamePixels(Flat(1, 1, 100, 100, 0)));
}

}  // namespace
}  // namespace imvora
