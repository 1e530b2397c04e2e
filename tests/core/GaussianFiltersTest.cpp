#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "core/Error.h"
#include "filters/GSharpen.h"
#include "filters/Gaussian.h"
#include "filters/LightAlign.h"
#include "filters/Mirror.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::Flat;
using reference::RandomBitmap;

TEST(MirrorIndexTest, ClosedFormFoldsLikeTheLoop) {
  for (int n = 1; n <= 12; ++n) {
    for (int p = -200; p <= 200; ++p) ASSERT_EQ(MirrorIndex(p, n), reference::MirrorIndex(p, n));
  }
  for (int p = 10000000; p < 10000010; ++p) {
    EXPECT_TRUE(MirrorIndex(p, 3) == reference::MirrorIndex(p, 3) &&
                MirrorIndex(-p, 2) == reference::MirrorIndex(-p, 2));
  }
  EXPECT_EQ(MirrorIndex(-1000000007, 1), 0);
}

TEST(GaussKernelTest, WeightsAndTails) {
  const std::vector<double> blur = GaussKernel(1, 3.0), sharpen = GaussKernel(1, 1.0);
  ASSERT_EQ(blur.size(), 3u);
  EXPECT_NEAR(blur[0], 0.3271, 5e-5);
  EXPECT_NEAR(blur[1], 0.3458, 5e-5);
  EXPECT_EQ(blur[0], blur[2]);
  EXPECT_NEAR(sharpen[0], 0.2741, 5e-5);
  EXPECT_NEAR(sharpen[1], 0.4519, 5e-5);
  EXPECT_EQ(GaussKernel(0, 3.0), std::vector<double>{1.0});
  // exp(-i²/8) is 0 in double precision from i = 78 on: the zero tails are left out.
  EXPECT_EQ(GaussKernel(1000000, 2.0).size(), 2u * 77 + 1);
  // Very wide and very strong at once is refused instead of exhausting the memory.
  EXPECT_THROW(GaussKernel(INT_MAX, 1e9), EImvoraError);
  EXPECT_EQ(GaussKernel(INT_MAX, 1e3).size() / 2, 38626u);  // -i² / (2 · 10⁶) >= -746
}

TEST(GaussBlurTest, BordersMirrorWithoutRepeatingLowAndRepeatingHigh) {
  TBitmap row = Flat(4, 1, 0, 0, 0);
  const int values[4] = {0, 200, 50, 90};
  for (int x = 0; x < 4; ++x) Byte(row, x, 0, 1) = static_cast<std::uint8_t>(values[x]);
  TGaussFilter().Apply(&row, false, true, false);
  // Rows: columns 1, 0, 1 = 200, 0, 200 → 130; columns W - 2, W - 1, W - 1 = 50, 90, 90 → 76.
  EXPECT_EQ(Byte(row, 0, 0, 1), 130);
  EXPECT_EQ(Byte(row, 3, 0, 1), 76);
}

TEST(GaussBlurTest, AnOversizedKernelIsRefusedBeforeAnyChange) {
  std::mt19937 random(7);
  const TBitmap input = RandomBitmap(random, 3, 3);
  for (const std::string name : {"Gauss", "GSharpen", "LightAlign"}) {
    reference::TFilterDocument d;
    EXPECT_THROW(d.Show(input).Run(name + "(YYY 2147483647 1000000000)"), EImvoraError) << name;
    EXPECT_TRUE(d.Image().SamePixels(input)) << name;
    // An empty picture stays as it is, without a word about the kernel.
    TBitmap empty(4, 0);
    EXPECT_NO_THROW(d.doc.Filter(d.doc.FindFilter(name))->Apply(&empty, true, true, true)) << name;
  }
}

TEST(GaussFiltersTest, TinySigma) {
  std::mt19937 random(22);
  const TBitmap input = RandomBitmap(random, 6, 6);
  TBitmap out = input;
  TGaussFilter gauss;
  gauss.Sigma = 1e-11;
  gauss.Apply(&out, true, true, true);
  TGSharpenFilter sharpen;
  sharpen.Sigma = 0;
  sharpen.Apply(&out, true, true, true);  // 2 · in − in
  EXPECT_TRUE(out.SamePixels(input));
  // Light alignment gives flat planes at the truncated mean.
  TBitmap image = Flat(3, 1, 10, 20, 30);
  Byte(image, 1, 0, 0) = 13;  // blue 10, 13, 10: mean 11
  Byte(image, 2, 0, 2) = 31;  // red 30, 30, 31: mean 30.33
  TLightAlignFilter align;
  align.Sigma = 1e-12;
  align.Apply(&image, true, false, true);
  EXPECT_TRUE(image.SamePixels(Flat(3, 1, 11, 20, 30)));
}

}  // namespace
}  // namespace imvora
