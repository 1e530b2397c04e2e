#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "core/Controls.h"
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
using reference::SameChannel;

TEST(MirrorIndexTest, ClosedFormFoldsLikeTheLoop) {
  for (int n = 1; n <= 12; ++n) {
    for (int p = -200; p <= 200; ++p) ASSERT_EQ(MirrorIndex(p, n), reference::MirrorIndex(p, n));
  }
  EXPECT_EQ(MirrorIndex(-1000000007, 1), 0);
  for (int p = 10000000; p < 10000010; ++p) {
    EXPECT_EQ(MirrorIndex(p, 3), reference::MirrorIndex(p, 3));
    EXPECT_EQ(MirrorIndex(-p, 2), reference::MirrorIndex(-p, 2));
  }
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

TEST(GaussBlurTest, UnflaggedChannelsAndNothingToDo) {
  std::mt19937 random(5);
  const TBitmap input = RandomBitmap(random, 9, 7);
  TBitmap out = input;
  TGaussFilter gauss;
  gauss.Apply(&out, false, false, true);
  EXPECT_TRUE(SameChannel(out, input, 1) && SameChannel(out, input, 2));
  EXPECT_FALSE(SameChannel(out, input, 0));
  out = input;
  gauss.Apply(&out, false, false, false);
  gauss.Sigma = 1e-11;
  gauss.Apply(&out, true, true, true);
  gauss.Sigma = 3.0;
  gauss.SetParam(0, -3);  // stored unchanged while no panel exists, blurs like radius 0
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
  TLightAlignFilter align;
  for (TImvoraFilter* filter : std::initializer_list<TImvoraFilter*>{&gauss, &align}) {
    filter->SetParam(0, INT_MAX);
    filter->SetParam(1, 1000000000);
    TBitmap out = input;
    EXPECT_THROW(filter->Apply(&out, true, true, true), EImvoraError) << filter->Name;
    EXPECT_TRUE(out.SamePixels(input)) << filter->Name;
  }
  // An empty picture stays as it is, without a word about the kernel.
  TGSharpenFilter sharpen;
  sharpen.SetParam(0, INT_MAX);
  sharpen.SetParam(1, 1000000000);
  for (TImvoraFilter* filter : std::initializer_list<TImvoraFilter*>{&gauss, &sharpen, &align}) {
    TBitmap empty(4, 0);
    EXPECT_NO_THROW(filter->Apply(&empty, true, true, true)) << filter->Name;
    EXPECT_EQ(empty.Width(), 4);
  }
}

TEST(GSharpenAndLightAlignTest, TinySigma) {
  std::mt19937 random(22);
  const TBitmap input = RandomBitmap(random, 6, 6);
  TBitmap out = input;
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
  TBitmap empty(4, 0);
  align.Apply(&empty, true, true, true);
  EXPECT_EQ(empty.Width(), 4);
}

// The generic edit rules are covered by the parameter framework's tests; these check the
// declarations.
TEST(GaussPanelTest, DefaultsAndBounds) {
  THeadlessPanel gaussPanel, alignPanel, panel;
  TGaussFilter gauss;
  TLightAlignFilter align;
  TGSharpenFilter sharpen;
  gauss.CreateControls(gaussPanel);
  align.CreateControls(alignPanel);
  sharpen.CreateControls(panel);
  EXPECT_EQ(gauss.RadiusEdit()->Text() + " " + gauss.SigmaEdit()->Text(), "1 3");
  EXPECT_EQ(align.RadiusEdit()->Text() + " " + align.SigmaEdit()->Text(), "100 100");
  EXPECT_EQ(sharpen.RadiusEdit()->Text() + " " + sharpen.SigmaEdit()->Text(), "1 1");
  sharpen.RadiusEdit()->UserEdited("0");
  EXPECT_EQ(sharpen.Radius, 1);
  EXPECT_EQ(sharpen.RadiusEdit()->Text(), "0");
  sharpen.SigmaEdit()->UserEdited("2,5");
  sharpen.SigmaEdit()->UserEdited("inf");
  EXPECT_EQ(sharpen.Sigma, 2.5);
  sharpen.SetParam(0, -5);  // shown, then bounded by the edit's handler
  EXPECT_EQ(sharpen.RadiusEdit()->Text(), "-5");
  EXPECT_EQ(sharpen.Radius, 1);
  sharpen.SetParam(1, 4);
  EXPECT_EQ(sharpen.SigmaEdit()->Text(), "4");
  EXPECT_EQ(sharpen.Sigma, 4.0);
  sharpen.DestroyControls();
  sharpen.SetParam(0, -5);
  EXPECT_EQ(sharpen.Radius, -5);
}

}  // namespace
}  // namespace imvora
