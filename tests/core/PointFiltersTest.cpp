#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>

#include "core/Controls.h"
#include "core/Error.h"
#include "core/Filtering.h"
#include "core/Random.h"
#include "filters/Autocolor.h"
#include "filters/Gnoise.h"
#include "filters/Grayscale.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::Flat;
using reference::RandomBitmap;
using reference::SameChannel;

TEST(LuminanceTableTest, EqualsExtendedPrecisionLuminanceForEveryColour) {
  const TLuminanceTable table;
  for (int b = 0; b < 256; ++b) {
    for (int g = 0; g < 256; ++g) {
      for (int r = 0; r < 256; ++r) {
        const int fast = table.Level(b, g, r);
        if (fast != LuminanceLevel(b, g, r)) FAIL() << b << " " << g << " " << r;
      }
    }
  }
}

TEST(GrayScaleTest, LuminanceValues) {
  TGrayScaleFilter grey;
  TBitmap white = Flat(2, 2, 255, 255, 255);
  grey.Apply(&white, true, true, true);
  EXPECT_TRUE(white.SamePixels(Flat(2, 2, 254, 254, 254)));
  TBitmap red = Flat(1, 1, 0, 0, 255);
  grey.Apply(&red, true, true, true);
  EXPECT_TRUE(red.SamePixels(Flat(1, 1, 76, 76, 76)));
  TBitmap blue = Flat(1, 1, 255, 0, 0);
  grey.Apply(&blue, true, false, false);  // only the red byte is written
  EXPECT_TRUE(blue.SamePixels(Flat(1, 1, 255, 0, 29)));
  TBitmap one = Flat(1, 1, 1, 1, 1);
  grey.Apply(&one, true, true, true);
  EXPECT_TRUE(one.SamePixels(Flat(1, 1, 0, 0, 0)));
}

TEST(GrayScaleTest, MinimumMaximumAndFlags) {
  TGrayScaleFilter grey;
  grey.SetParam(0, 1);
  TBitmap pixel = Flat(1, 1, 30, 200, 10);
  grey.Apply(&pixel, true, true, true);
  EXPECT_TRUE(pixel.SamePixels(Flat(1, 1, 10, 10, 10)));
  grey.SetParam(0, 2);
  pixel = Flat(1, 1, 30, 200, 10);
  grey.Apply(&pixel, false, false, true);
  EXPECT_TRUE(pixel.SamePixels(Flat(1, 1, 200, 200, 10)));
  grey.SetParam(0, 3);  // ignored
  EXPECT_EQ(grey.Method, 2);
  std::mt19937 random(3);
  const TBitmap input = RandomBitmap(random, 6, 5);
  TBitmap out = input;
  grey.Apply(&out, false, false, false);
  EXPECT_TRUE(out.SamePixels(input));
  grey.SetParam(0, 0);
  grey.Apply(&out, false, true, false);
  EXPECT_TRUE(SameChannel(out, input, 0));
  EXPECT_TRUE(SameChannel(out, input, 2));
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 6; ++x) {
      EXPECT_EQ(Byte(out, x, y, 1),
                LuminanceLevel(Byte(input, x, y, 0), Byte(input, x, y, 1), Byte(input, x, y, 2)));
    }
  }
}

TEST(GaussianNoiseTest, UnitNoiseStaysWithinTheSpread) {
  TGaussianNoiseFilter noise;
  noise.SetParam(0, 0);
  noise.SetParam(1, 1);
  noise.SetParam(2, 1);
  SeedRandom(77);
  TBitmap image = Flat(20, 20, 100, 100, 100);
  noise.Apply(&image, true, true, true);
  for (int y = 0; y < 20; ++y) {
    for (int i = 0; i < 60; ++i) {
      EXPECT_GE(image.ScanLine(y)[i], 98);
      EXPECT_LE(image.ScanLine(y)[i], 101);
    }
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
  EXPECT_TRUE(SameChannel(out, input, 1));
}

TEST(GaussianNoiseTest, HugeDeviationsAreLimitedToTheByteRange) {
  TGaussianNoiseFilter noise;
  noise.SetParam(1, INT_MAX);
  noise.SetParam(2, 1);
  SeedRandom(5);
  TBitmap image = Flat(30, 2, 128, 128, 128);
  noise.Apply(&image, true, true, true);
  int extremes = 0;
  for (int i = 0; i < 90; ++i) extremes += image.ScanLine(0)[i] == 0 || image.ScanLine(0)[i] == 255;
  EXPECT_GT(extremes, 80);
}

TEST(GaussianNoiseTest, OutOfRangeSetParamIsIgnored) {
  TGaussianNoiseFilter noise;
  noise.SetParam(0, 256);
  noise.SetParam(0, -1);
  noise.SetParam(1, 0);
  noise.SetParam(2, -4);
  EXPECT_EQ(noise.Mean, 128);
  EXPECT_EQ(noise.Deviation, 64);
  EXPECT_EQ(noise.Trials, 20);
  noise.SetParam(0, 255);
  noise.SetParam(1, 1);
  noise.SetParam(2, 1);
  EXPECT_EQ(noise.Mean, 255);
  EXPECT_EQ(noise.Deviation, 1);
  EXPECT_EQ(noise.Trials, 1);
  TBitmap empty(0, 0);
  noise.Apply(&empty, true, true, true);
}

TBitmap RedLevels(std::initializer_list<int> levels) {
  TBitmap image(static_cast<int>(levels.size()), 1);
  int x = 0;
  for (int level : levels) {
    // Green and blue get two levels each so that their stretch is defined.
    Byte(image, x, 0, 2) = static_cast<std::uint8_t>(level);
    Byte(image, x, 0, 1) = static_cast<std::uint8_t>(x % 2 ? 0 : 9);
    Byte(image, x, 0, 0) = static_cast<std::uint8_t>(x % 2 ? 3 : 4);
    ++x;
  }
  return image;
}

TEST(AutoColorTest, ContrastStretchBetweenTheSecondLevels) {
  TAutoColorFilter color;
  TBitmap four = RedLevels({10, 20, 30, 40});
  color.Apply(&four, true, false, false);
  EXPECT_EQ(Byte(four, 0, 0, 2), 0);
  EXPECT_EQ(Byte(four, 1, 0, 2), 0);
  EXPECT_EQ(Byte(four, 2, 0, 2), 255);
  EXPECT_EQ(Byte(four, 3, 0, 2), 255);
  TBitmap two = RedLevels({50, 100, 100, 50});
  color.Apply(&two, true, true, true);
  EXPECT_EQ(Byte(two, 0, 0, 2), 0);
  EXPECT_EQ(Byte(two, 1, 0, 2), 255);
  EXPECT_EQ(Byte(two, 0, 0, 1), 255);  // green 9 and 0
  EXPECT_EQ(Byte(two, 1, 0, 1), 0);
}

TEST(AutoColorTest, CoincidingBoundsAreAnErrorBeforeAnyChange) {
  TAutoColorFilter color;
  TBitmap image = RedLevels({10, 20});
  for (int x = 0; x < 2; ++x) Byte(image, x, 0, 0) = 77;  // blue constant
  const TBitmap input = image;
  try {
    color.Apply(&image, true, false, false);
    FAIL() << "no error";
  } catch (const EImvoraError& error) {
    EXPECT_NE(std::string(error.what()).find("в канале 3"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(image.SamePixels(input));
  // Three levels: the second from below and from above are the same middle level.
  TBitmap three = RedLevels({10, 20, 30});
  EXPECT_THROW(color.Apply(&three, true, true, true), EImvoraError);
}

TEST(AutoColorTest, StretchEqualsThePlainFormula) {
  std::mt19937 random(41);
  TAutoColorFilter color;
  for (int trial = 0; trial < 40; ++trial) {
    const TBitmap input = RandomBitmap(random, 1 + random() % 9, 1 + random() % 9);
    const auto histogram = BuildHistogram(&input);
    const int blocks[3] = {kBlueBlock, kGreenBlock, kRedBlock};
    TBitmap expected = input;
    bool defined = true;
    for (int c = 0; c < 3; ++c) {
      int lo, hi;
      HistLevelRange(histogram->data() + blocks[c], 2, lo, hi);
      if (lo == hi) {
        defined = false;
        break;
      }
      const long double k = 255.0L / (hi - lo);
      for (int y = 0; y < input.Height(); ++y) {
        for (int x = 0; x < input.Width(); ++x) {
          const long double v = std::trunc((Byte(input, x, y, c) - lo) * k);
          Byte(expected, x, y, c) = static_cast<std::uint8_t>(std::clamp<long double>(v, 0, 255));
        }
      }
    }
    TBitmap out = input;
    if (!defined) {
      EXPECT_THROW(color.Apply(&out, true, true, true), EImvoraError);
      continue;
    }
    color.Apply(&out, true, true, true);
    ASSERT_TRUE(out.SamePixels(expected));
  }
}

TEST(AutoColorTest, GreyWorldBalancesTheMeans) {
  TBitmap image(4, 1);
  // Means: red 100, green 50, blue 150.
  const int green[4] = {0, 0, 70, 130};
  for (int x = 0; x < 4; ++x) {
    Byte(image, x, 0, 2) = 100;
    Byte(image, x, 0, 1) = static_cast<std::uint8_t>(green[x]);
    Byte(image, x, 0, 0) = 150;
  }
  const auto stretch = GreyWorld(image);
  EXPECT_EQ(stretch[2].Factor, 1.0L);
  EXPECT_EQ(stretch[1].Factor, 2.0L);
  EXPECT_NEAR(static_cast<double>(stretch[0].Factor), 0.6667, 5e-5);
  TAutoColorFilter color;
  color.SetParam(0, 1);
  color.Apply(&image, true, true, true);
  EXPECT_EQ(Byte(image, 2, 0, 1), 140);
  EXPECT_EQ(Byte(image, 3, 0, 1), 255);  // 260 limited
  EXPECT_EQ(Byte(image, 0, 0, 2), 100);
  EXPECT_EQ(Byte(image, 0, 0, 0), 100);
  // A channel that is 0 everywhere stays 0.
  TBitmap noRed = Flat(1, 1, 200, 100, 0);
  color.Apply(&noRed, true, true, true);
  EXPECT_TRUE(noRed.SamePixels(Flat(1, 1, 100, 100, 0)));
}

TEST(AutoColorTest, UnflaggedAndEmpty) {
  std::mt19937 random(43);
  const TBitmap input = RandomBitmap(random, 8, 8);
  TBitmap out = input;
  TAutoColorFilter color;
  color.Apply(&out, false, true, false);
  EXPECT_TRUE(SameChannel(out, input, 0));
  EXPECT_TRUE(SameChannel(out, input, 2));
  color.Apply(&out, false, false, false);
  TBitmap empty(0, 5);
  color.Apply(&empty, true, true, true);
  color.SetParam(0, 2);
  EXPECT_EQ(color.Method, 0);
}

TEST(PointPanelTest, MethodListsOpenOnTheFirstItem) {
  TGrayScaleFilter grey;
  grey.SetParam(0, 2);
  THeadlessPanel panel;
  grey.CreateControls(panel);
  EXPECT_EQ(grey.MethodLabel()->Caption(), "Метод фильтрации:");
  EXPECT_EQ(grey.MethodComboBox()->Left(), 8 + 6 * 17 + 8);
  EXPECT_EQ(grey.MethodComboBox()->Top(), 8);
  EXPECT_EQ(grey.MethodComboBox()->Width(), 140);
  EXPECT_EQ(panel.ClientWidth(), grey.MethodComboBox()->Right() + 8);
  EXPECT_EQ(grey.MethodComboBox()->Items(),
            (std::vector<std::string>{"по яркости", "по минимуму", "по максимуму"}));
  EXPECT_EQ(grey.MethodComboBox()->ItemIndex(), 0);
  EXPECT_EQ(grey.Method, 2);
  grey.MethodComboBox()->UserSelected(1);
  EXPECT_EQ(grey.Method, 1);
  grey.SetParam(0, 2);
  EXPECT_EQ(grey.MethodComboBox()->ItemIndex(), 2);
  TAutoColorFilter color;
  color.CreateControls(panel);
  EXPECT_EQ(color.MethodLabel()->Caption(), "Метод коррекции:");
  EXPECT_EQ(color.MethodComboBox()->Items(),
            (std::vector<std::string>{"автоконтраст", "серый мир"}));
  color.MethodComboBox()->UserSelected(1);
  EXPECT_EQ(color.Method, 1);
  color.DestroyControls();
  EXPECT_EQ(color.MethodComboBox(), nullptr);
}

TEST(PointPanelTest, NoiseEditsStandRightOfTheWidestLabel) {
  TGaussianNoiseFilter noise;
  THeadlessPanel panel;
  noise.CreateControls(panel);
  EXPECT_EQ(noise.MeanLabel()->Caption(), "Среднее:");
  EXPECT_EQ(noise.DeviationLabel()->Caption(), "Корень дисперсии:");
  EXPECT_EQ(noise.TrialsLabel()->Caption(), "N испытаний:");
  EXPECT_EQ(noise.TrialsLabel()->Top(), 12 + 2 * (13 + 16));
  const int editLeft = 8 + 6 * 17 + 8;
  for (const TEdit* edit : {noise.MeanEdit(), noise.DeviationEdit(), noise.TrialsEdit()}) {
    EXPECT_EQ(edit->Left(), editLeft);
    EXPECT_EQ(edit->Width(), 48);
  }
  EXPECT_EQ(noise.TrialsEdit()->Top(), 8 + 2 * (21 + 8));
  EXPECT_EQ(panel.ClientWidth(), editLeft + 48 + 8);
  EXPECT_EQ(noise.MeanEdit()->Text(), "128");
  EXPECT_EQ(noise.DeviationEdit()->Text(), "64");
  EXPECT_EQ(noise.TrialsEdit()->Text(), "20");
  const std::string hint =
      "Количество испытаний для датчика нормального распределения. Чем больше, тем точнее.";
  EXPECT_EQ(noise.TrialsLabel()->Hint(), hint);
  EXPECT_EQ(noise.TrialsEdit()->Hint(), hint);
  noise.MeanEdit()->UserEdited("300");
  EXPECT_EQ(noise.Mean, 255);
  EXPECT_EQ(noise.MeanEdit()->Text(), "300");
  noise.MeanEdit()->UserEdited("1.5");  // the mean takes integers only
  EXPECT_EQ(noise.Mean, 255);
  noise.DeviationEdit()->UserEdited("2,9");
  EXPECT_EQ(noise.Deviation, 2);
  noise.DeviationEdit()->UserEdited("0.5");
  EXPECT_EQ(noise.Deviation, 1);
  noise.TrialsEdit()->UserEdited("1e30");
  EXPECT_EQ(noise.Trials, INT_MAX);
  noise.TrialsEdit()->UserEdited("nan");
  EXPECT_EQ(noise.Trials, INT_MAX);
  noise.SetParam(2, 5);
  EXPECT_EQ(noise.TrialsEdit()->Text(), "5");
  EXPECT_EQ(noise.Trials, 5);
  noise.SetParam(0, 300);
  EXPECT_EQ(noise.MeanEdit()->Text(), "1.5");
}

}  // namespace
}  // namespace imvora
