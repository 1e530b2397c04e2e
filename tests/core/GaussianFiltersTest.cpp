#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "core/Controls.h"
#include "core/Error.h"
#include "filters/Gaussian.h"
#include "filters/Gsharpen.h"
#include "filters/Lightalign.h"
#include "filters/Mirror.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::Flat;
using reference::RandomBitmap;
using reference::SameChannel;

TEST(MirrorIndexTest, ClosedFormFoldsLikeTheLoop) {
  for (int n = 1; n <= 12; ++n) {
    for (int p = -200; p <= 200; ++p) {
      ASSERT_EQ(MirrorIndex(p, n), reference::MirrorIndex(p, n)) << p << " on " << n;
    }
  }
  EXPECT_EQ(MirrorIndex(-1, 5), 1);
  EXPECT_EQ(MirrorIndex(-2, 5), 2);
  EXPECT_EQ(MirrorIndex(5, 5), 4);
  EXPECT_EQ(MirrorIndex(6, 5), 3);
  EXPECT_EQ(MirrorIndex(-1000000007, 1), 0);
  for (int p = 10000000; p < 10000010; ++p) {
    EXPECT_EQ(MirrorIndex(p, 3), reference::MirrorIndex(p, 3));
    EXPECT_EQ(MirrorIndex(-p, 2), reference::MirrorIndex(-p, 2));
  }
}

TEST(GaussKernelTest, DefaultKernels) {
  const std::vector<double> blur = GaussKernel(1, 3.0);
  ASSERT_EQ(blur.size(), 3u);
  EXPECT_NEAR(blur[0], 0.3271, 5e-5);
  EXPECT_NEAR(blur[1], 0.3458, 5e-5);
  EXPECT_EQ(blur[0], blur[2]);
  const std::vector<double> sharpen = GaussKernel(1, 1.0);
  EXPECT_NEAR(sharpen[0], 0.2741, 5e-5);
  EXPECT_NEAR(sharpen[1], 0.4519, 5e-5);
  EXPECT_EQ(GaussKernel(0, 3.0), std::vector<double>{1.0});
}

TEST(GaussKernelTest, TailsOfExactZerosAreLeftOut) {
  // exp(-i²/8) is 0 in double precision from i = 78 on.
  const std::vector<double> w = GaussKernel(1000000, 2.0);
  EXPECT_EQ(w.size(), 2u * 77 + 1);
  EXPECT_GT(w.front(), 0.0);
  // Very wide and very strong at once is refused instead of exhausting the memory.
  EXPECT_THROW(GaussKernel(INT_MAX, 1e9), EImvoraError);
  // -i² / (2 · 10⁶) stays at or above -746 up to i = 38626.
  EXPECT_EQ(GaussKernel(INT_MAX, 1e3).size() / 2, 38626u);
}

TEST(GaussBlurTest, BordersMirrorWithoutRepeatingLowAndRepeatingHigh) {
  TBitmap row(4, 1);
  const int values[4] = {0, 200, 50, 90};
  for (int x = 0; x < 4; ++x) Byte(row, x, 0, 1) = static_cast<std::uint8_t>(values[x]);
  TGaussFilter gauss;
  gauss.Apply(&row, false, true, false);
  const std::vector<double> w = GaussKernel(1, 3.0);
  auto column = [&w](int a, int b, int c) {
    const int h = static_cast<int>(w[0] * a + w[1] * b + w[2] * c);
    return static_cast<int>(w[0] * h + w[1] * h + w[2] * h);
  };
  EXPECT_EQ(Byte(row, 0, 0, 1), column(200, 0, 200));  // columns 1, 0, 1
  EXPECT_EQ(Byte(row, 3, 0, 1), column(50, 90, 90));   // columns W - 2, W - 1, W - 1
}

TEST(GaussBlurTest, OnePixelAxesReadTheOnePixel) {
  TBitmap column = Flat(1, 5, 0, 0, 0);
  for (int y = 0; y < 5; ++y) Byte(column, 0, y, 0) = static_cast<std::uint8_t>(40 * y);
  TBitmap expected = column;
  reference::GaussBlur(column, expected, 4, 2.0, true, true, true);
  TGaussFilter gauss;
  gauss.Radius = 4;
  gauss.Sigma = 2.0;
  gauss.Apply(&column, true, true, true);
  EXPECT_TRUE(column.SamePixels(expected));
  const TBitmap dot = Flat(1, 1, 9, 99, 199);
  TBitmap blurredDot = dot, expectedDot = dot;
  reference::GaussBlur(dot, expectedDot, 4, 2.0, true, true, true);
  gauss.Apply(&blurredDot, true, true, true);
  EXPECT_TRUE(blurredDot.SamePixels(expectedDot));
}

TEST(GaussBlurTest, FastPassesEqualThePlainAlgorithm) {
  std::mt19937 random(1234);
  const double sigmas[] = {0.3, 1.0, 3.0, 7.25, 100.0};
  for (int trial = 0; trial < 300; ++trial) {
    const int w = 1 + random() % 23, h = 1 + random() % 9;
    const int r = random() % 3 == 0 ? random() % 40 : random() % 5;
    const double sigma = sigmas[random() % 5];
    const bool f1 = random() % 2, f2 = random() % 2, f3 = trial % 7 == 0 || random() % 2;
    const TBitmap input = RandomBitmap(random, w, h);
    TBitmap expected = input;
    reference::GaussBlur(input, expected, r, sigma, f1, f2, f3);
    for (TLaneWidth lanes : {TLaneWidth::Sse2, WidestLanes()}) {
      TBitmap fast = input;
      GaussBlur(&fast, &fast, r, sigma, f1, f2, f3, lanes);
      ASSERT_TRUE(fast.SamePixels(expected)) << w << "x" << h << " r " << r << " sigma " << sigma;
    }
  }
}

TEST(GaussBlurTest, WideRowsAndLongKernelsEqualThePlainAlgorithm) {
  std::mt19937 random(99);
  // 205 pixels give rows of 615 bytes: with 601 taps two strips of 432 and 183 bytes, each
  // ending in blocks, single vectors and single values.
  const TBitmap input = RandomBitmap(random, 205, 3);
  for (const auto& [r, sigma] : {std::pair{300, 100.0}, {500, 2.0}, {2, 0.7}}) {
    TBitmap expected = input;
    reference::GaussBlur(input, expected, r, sigma, true, false, true);
    for (TLaneWidth lanes : {TLaneWidth::Sse2, WidestLanes()}) {
      TBitmap fast = input;
      GaussBlur(&input, &fast, r, sigma, true, false, true, lanes);
      EXPECT_TRUE(fast.SamePixels(expected)) << r << " " << sigma;
    }
  }
}

TEST(GaussBlurTest, UnflaggedChannelsStayBitIdentical) {
  std::mt19937 random(5);
  const TBitmap input = RandomBitmap(random, 9, 7);
  TBitmap out = input;
  TGaussFilter gauss;
  gauss.Apply(&out, false, false, true);
  EXPECT_TRUE(SameChannel(out, input, 1));
  EXPECT_TRUE(SameChannel(out, input, 2));
  EXPECT_FALSE(SameChannel(out, input, 0));
}

TEST(GaussBlurTest, NothingToDo) {
  std::mt19937 random(6);
  const TBitmap input = RandomBitmap(random, 5, 4);
  TGaussFilter gauss;
  TBitmap out = input;
  gauss.Apply(&out, false, false, false);
  EXPECT_TRUE(out.SamePixels(input));
  gauss.Sigma = 1e-11;
  gauss.Apply(&out, true, true, true);
  EXPECT_TRUE(out.SamePixels(input));
  gauss.Sigma = 3.0;
  gauss.SetParam(0, 0);  // radius 0: one tap of weight 1
  gauss.Apply(&out, true, true, true);
  EXPECT_TRUE(out.SamePixels(input));
  gauss.SetParam(0, -3);  // stored unchanged while no panel exists, blurs like 0
  EXPECT_EQ(gauss.Radius, -3);
  gauss.Apply(&out, true, true, true);
  EXPECT_TRUE(out.SamePixels(input));
  gauss.Apply(nullptr, true, true, true);
  TBitmap empty(0, 3);
  gauss.Apply(&empty, true, true, true);
  EXPECT_EQ(empty.Height(), 3);
}

TEST(GaussBlurTest, AnOversizedKernelIsRefusedBeforeAnyChange) {
  std::mt19937 random(7);
  const TBitmap input = RandomBitmap(random, 3, 3);
  TGaussFilter gauss;
  gauss.SetParam(0, INT_MAX);
  gauss.SetParam(1, 1000000000);
  TBitmap out = input;
  EXPECT_THROW(gauss.Apply(&out, true, true, true), EImvoraError);
  EXPECT_TRUE(out.SamePixels(input));
  TLightAlignFilter align;
  align.SetParam(0, INT_MAX);
  align.SetParam(1, 1000000000);
  EXPECT_THROW(align.Apply(&out, true, true, true), EImvoraError);
  EXPECT_TRUE(out.SamePixels(input));
}

TEST(GSharpenTest, EqualsThePlainAlgorithmAndKeepsUnflaggedBytes) {
  std::mt19937 random(21);
  for (int trial = 0; trial < 60; ++trial) {
    const int w = 1 + random() % 17, h = 1 + random() % 6, r = random() % 6;
    const double sigma = 0.5 + random() % 4;
    const bool f1 = random() % 2, f2 = random() % 2, f3 = random() % 2;
    const TBitmap input = RandomBitmap(random, w, h);
    TBitmap expected = input, fast = input;
    reference::GSharpen(expected, r, sigma, f1, f2, f3);
    TGSharpenFilter sharpen;
    sharpen.Radius = r;
    sharpen.Sigma = sigma;
    sharpen.Apply(&fast, f1, f2, f3);
    ASSERT_TRUE(fast.SamePixels(expected)) << w << "x" << h << " r " << r;
  }
}

TEST(GSharpenTest, DefaultsAndTinySigma) {
  TGSharpenFilter sharpen;
  EXPECT_EQ(sharpen.Name, "GSharpen");
  EXPECT_EQ(sharpen.Radius, 1);
  EXPECT_EQ(sharpen.Sigma, 1.0);
  std::mt19937 random(22);
  const TBitmap input = RandomBitmap(random, 6, 6);
  TBitmap out = input;
  sharpen.Sigma = 0;
  sharpen.Apply(&out, true, true, true);  // 2 · in − in
  EXPECT_TRUE(out.SamePixels(input));
}

TEST(LightAlignTest, EqualsThePlainAlgorithm) {
  std::mt19937 random(31);
  for (int trial = 0; trial < 60; ++trial) {
    const int w = 1 + random() % 19, h = 1 + random() % 7, r = random() % 30;
    const double sigma = trial % 5 == 0 ? 100.0 : 0.5 + random() % 6;
    const bool f1 = random() % 2, f2 = random() % 2, f3 = random() % 2;
    const TBitmap input = RandomBitmap(random, w, h);
    TBitmap expected = input, fast = input;
    reference::LightAlign(expected, r, sigma, f1, f2, f3);
    TLightAlignFilter align;
    align.Radius = r;
    align.Sigma = sigma;
    align.Apply(&fast, f1, f2, f3);
    ASSERT_TRUE(fast.SamePixels(expected)) << w << "x" << h << " r " << r;
  }
}

TEST(LightAlignTest, TinySigmaGivesFlatPlanesAtTheTruncatedMean) {
  TBitmap image = Flat(3, 1, 10, 20, 30);
  Byte(image, 1, 0, 0) = 13;  // blue 10, 13, 10: mean 11
  Byte(image, 2, 0, 2) = 31;  // red 30, 30, 31: mean 30.33
  TLightAlignFilter align;
  EXPECT_EQ(align.Radius, 100);
  EXPECT_EQ(align.Sigma, 100.0);
  align.Sigma = 1e-12;
  align.Apply(&image, true, false, true);
  for (int x = 0; x < 3; ++x) {
    EXPECT_EQ(Byte(image, x, 0, 0), 11);
    EXPECT_EQ(Byte(image, x, 0, 1), 20);
    EXPECT_EQ(Byte(image, x, 0, 2), 30);
  }
  TBitmap empty(4, 0);
  align.Apply(&empty, true, true, true);
  EXPECT_EQ(empty.Width(), 4);
}

TEST(GaussPanelTest, LayoutAndInitialTexts) {
  TGaussFilter gauss;
  THeadlessPanel panel;
  gauss.CreateControls(panel);
  gauss.CreateControls(panel);
  ASSERT_NE(gauss.RadiusEdit(), nullptr);
  EXPECT_EQ(gauss.RadiusLabel()->Caption(), "Радиус размытия:");
  EXPECT_EQ(gauss.RadiusLabel()->Left(), 8);
  EXPECT_EQ(gauss.RadiusLabel()->Top(), 12);
  const int editLeft = 8 + 6 * 16 + 8;
  EXPECT_EQ(gauss.RadiusEdit()->Left(), editLeft);
  EXPECT_EQ(gauss.RadiusEdit()->Top(), 8);
  EXPECT_EQ(gauss.RadiusEdit()->Width(), 48);
  EXPECT_EQ(gauss.RadiusEdit()->Text(), "1");
  EXPECT_EQ(gauss.SigmaLabel()->Caption(), "Сила размытия:");
  EXPECT_EQ(gauss.SigmaLabel()->Top(), 12 + 13 + 16);
  EXPECT_EQ(gauss.SigmaEdit()->Left(), editLeft);  // under the first edit
  EXPECT_EQ(gauss.SigmaEdit()->Top(), 8 + 21 + 8);
  EXPECT_EQ(gauss.SigmaEdit()->Text(), "3");
  EXPECT_EQ(panel.ClientWidth(), editLeft + 48 + 8);
  gauss.DestroyControls();
  EXPECT_EQ(gauss.RadiusEdit(), nullptr);
  EXPECT_EQ(gauss.SigmaLabel(), nullptr);
  TLightAlignFilter align;
  align.Sigma = 0.25;
  align.CreateControls(panel);
  EXPECT_EQ(align.RadiusEdit()->Text(), "100");
  EXPECT_EQ(align.SigmaEdit()->Text(), "0.25");
}

TEST(GaussPanelTest, EditsConvertAndBoundWithoutRewriting) {
  TGSharpenFilter sharpen;
  THeadlessPanel panel;
  sharpen.CreateControls(panel);
  sharpen.RadiusEdit()->UserEdited("0");
  EXPECT_EQ(sharpen.Radius, 1);
  EXPECT_EQ(sharpen.RadiusEdit()->Text(), "0");
  sharpen.RadiusEdit()->UserEdited("12");
  sharpen.RadiusEdit()->UserEdited("12a");
  EXPECT_EQ(sharpen.Radius, 12);
  sharpen.SigmaEdit()->UserEdited("2,5");
  EXPECT_EQ(sharpen.Sigma, 2.5);
  for (const char* text : {"nan", "inf", "-inf", "1e400", ""}) {
    sharpen.SigmaEdit()->UserEdited(text);
    EXPECT_EQ(sharpen.Sigma, 2.5) << text;
  }
  sharpen.SetParam(0, -5);  // shown, then bounded by the edit's handler
  EXPECT_EQ(sharpen.RadiusEdit()->Text(), "-5");
  EXPECT_EQ(sharpen.Radius, 1);
  sharpen.SetParam(1, 4);
  EXPECT_EQ(sharpen.SigmaEdit()->Text(), "4");
  EXPECT_EQ(sharpen.Sigma, 4.0);
  sharpen.SetParam(2, 9);  // unknown index
  sharpen.DestroyControls();
  sharpen.SetParam(0, -5);
  EXPECT_EQ(sharpen.Radius, -5);
}

}  // namespace
}  // namespace imvora
