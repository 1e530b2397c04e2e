#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/Filtering.h"
#include "core/Random.h"

namespace imvora {
namespace {

TBitmap Filled(int w, int h, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  TBitmap bitmap(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return bitmap;
}

std::vector<double> ScanAllDecimals(const char* text) {
  std::vector<double> values;
  const char* p = text;
  while (p != nullptr) {
    double v;
    p = ScanDecimal(p, v);
    values.push_back(v);
  }
  return values;
}

TEST(ScannersTest, ScanIntFindsSignsAndNextNumbers) {
  std::int32_t v = 99;
  EXPECT_EQ(ScanInt("Gauss", v), nullptr);
  EXPECT_EQ(v, 0);
  const char* text = "-7x12";
  EXPECT_EQ(ScanInt(text, v), text + 3);
  EXPECT_EQ(v, -7);
  EXPECT_EQ(ScanInt("", v), nullptr);
  EXPECT_EQ(ScanInt(nullptr, v), nullptr);
}

TEST(ScannersTest, ScanIntSaturatesOutsideThirtyTwoBits) {
  std::int32_t v;
  ScanInt("99999999999999999999", v);
  EXPECT_EQ(v, 2147483647);
  ScanInt("-99999999999999999999", v);
  EXPECT_EQ(v, -2147483647 - 1);
  ScanInt("-2147483648", v);
  EXPECT_EQ(v, -2147483647 - 1);
  ScanInt("2147483648", v);
  EXPECT_EQ(v, 2147483647);
}

TEST(ScannersTest, ScanUIntLeavesTheMinusForTheNextRead) {
  std::int32_t v;
  const char* text = "-5";
  EXPECT_EQ(ScanUInt(text, v), text);
  EXPECT_EQ(v, 0);
}

TEST(ScannersTest, ScanDecimalReadsFractions) {
  EXPECT_EQ(ScanAllDecimals("2.5 1.25"), (std::vector<double>{2.5, 1.25}));
  EXPECT_EQ(ScanAllDecimals("-0.5"), (std::vector<double>{-0.5}));
  EXPECT_EQ(ScanAllDecimals("7"), (std::vector<double>{7}));
  EXPECT_EQ(ScanAllDecimals("3 4"), (std::vector<double>{3, 4}));
  EXPECT_EQ(ScanAllDecimals("12.5 -3"), (std::vector<double>{12.5, -3}));
  EXPECT_EQ(ScanAllDecimals("3. 4"), (std::vector<double>{3, 4}));
  EXPECT_EQ(ScanAllDecimals("3.x5"), (std::vector<double>{3, 5}));
  EXPECT_EQ(ScanAllDecimals("1.05"), (std::vector<double>{1.05}));
  EXPECT_EQ(ScanAllDecimals("-2.12500 8.00000 "), (std::vector<double>{-2.125, 8}));
}

TEST(ScannersTest, ScanDecimalKeepsLongFractionsDefined) {
  double v;
  EXPECT_EQ(ScanDecimal("0.1234567890123456789012345", v), nullptr);
  EXPECT_NEAR(v, 0.123456789012345678, 1e-15);
}

TEST(ScannersTest, ScanDoubleReadsALeadingNumber) {
  EXPECT_EQ(ScanDouble("  1.5e2xyz"), 150.0);
  EXPECT_EQ(ScanDouble("abc"), 0.0);
  EXPECT_EQ(ScanDouble("-0.25"), -0.25);
  for (const char* no : {"nan", "-inf", "infinity", "1e999", "+-5"}) EXPECT_EQ(ScanDouble(no), 0.0);
}

TEST(HistogramTest, WhitePixelCountsInLuminanceBin254) {
  const TBitmap white = Filled(1, 1, 255, 255, 255);
  const auto h = BuildHistogram(&white);
  EXPECT_EQ((*h)[255], 1);
  EXPECT_EQ((*h)[511], 1);
  EXPECT_EQ((*h)[767], 1);
  EXPECT_EQ((*h)[768 + 254], 1);
  EXPECT_EQ((*h)[768 + 255], 0);
  EXPECT_EQ(BuildHistogram(nullptr), nullptr);
}

TEST(HistogramTest, GreyLandsOneBelowItsLevel) {
  for (int v = 1; v < 256; ++v) {
    EXPECT_EQ(LuminanceLevel(v, v, v), v - 1) << v;
  }
  EXPECT_EQ(LuminanceLevel(0, 0, 0), 0);
  EXPECT_EQ(LuminanceLevel(0, 0, 255), 76);
}

TEST(HistogramTest, LevelSearches) {
  std::int32_t block[256] = {};
  block[10] = 3;
  block[20] = 1;
  EXPECT_EQ(HistLowLevel(block, 3), 20);
  EXPECT_EQ(HistHighLevel(block, 3), 10);
  EXPECT_EQ(HistLowLevel(block, 1), 10);
  EXPECT_EQ(HistHighLevel(block, 1), 20);
  int low, high;
  HistLevelRange(block, 3, low, high);
  EXPECT_EQ(low, 10);
  EXPECT_EQ(high, 20);
  EXPECT_EQ(HistLowLevel(block, 0), 0);
  EXPECT_EQ(HistHighLevel(block, -1), 255);

  std::int32_t empty[256] = {};
  EXPECT_EQ(HistLowLevel(empty, 2), 0);
  EXPECT_EQ(HistHighLevel(empty, 2), 255);
}

TEST(HistogramTest, Quantile) {
  std::int32_t block[256] = {};
  block[0] = 10;
  block[255] = 10;
  EXPECT_EQ(HistQuantile(block, 128), 1);
  EXPECT_EQ(HistQuantile(block, 256), 0);
  EXPECT_EQ(HistQuantile(block, 0), 256);
  EXPECT_EQ(HistQuantile(block, 9999), 0);
  std::int32_t empty[256] = {};
  EXPECT_EQ(HistQuantile(empty, 128), 0);
}

TEST(RandomTest, SeededGeneratorRepeatsAndStaysInRange) {
  SeedRandom(42);
  std::vector<int> first;
  for (int i = 0; i < 1000; ++i) first.push_back(ImvoraRandom());
  SeedRandom(42);
  for (int i = 0; i < 1000; ++i) {
    const int r = ImvoraRandom();
    EXPECT_EQ(r, first[i]);
    EXPECT_GE(r, 0);
    EXPECT_LE(r, kRandomMax);
  }
}

TEST(RandomTest, GaussRandomHasTheRequestedMeanAndSpread) {
  SeedRandom(7);
  double sum = 0, squares = 0;
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    const double v = GaussRandom(12, 5.0, 2.0);
    sum += v;
    squares += v * v;
  }
  const double mean = sum / n;
  EXPECT_NEAR(mean, 5.0, 0.05);
  EXPECT_NEAR(std::sqrt(squares / n - mean * mean), 2.0, 0.05);
  for (int i = 0; i < 1000; ++i) {
    const double v = GaussRandom(1, 0.0, 1.0);
    EXPECT_LE(std::abs(v), std::sqrt(3.0) + 1e-12);
  }
}

TEST(ChannelOpsTest, DifferenceClampsAndSkipsMismatchedSizes) {
  TBitmap a = Filled(2, 2, 10, 100, 200);
  const TBitmap b = Filled(2, 2, 20, 50, 50);
  ChannelDifference(&a, &b, true, false, true, 120, 0, 0);
  EXPECT_EQ(a.ScanLine(1)[3 + 2], 255);  // red: 200 - 50 + 120 clamped
  EXPECT_EQ(a.ScanLine(1)[3 + 1], 100);  // green untouched
  EXPECT_EQ(a.ScanLine(1)[3 + 0], 0);    // blue: 10 - 20 clamped

  TBitmap c = Filled(2, 2, 9, 9, 9);
  const TBitmap taller = Filled(2, 3, 1, 1, 1);
  ChannelDifference(&c, &taller, true, true, true, 0, 0, 0);
  EXPECT_TRUE(c.SamePixels(Filled(2, 2, 9, 9, 9)));
}

TEST(ChannelOpsTest, InvertTouchesOnlyFlaggedChannels) {
  TBitmap bitmap = Filled(3, 2, 1, 2, 3);
  InvertChannels(&bitmap, true, false, false);
  EXPECT_TRUE(bitmap.SamePixels(Filled(3, 2, 1, 2, 252)));
  InvertChannels(&bitmap, true, true, true);
  EXPECT_TRUE(bitmap.SamePixels(Filled(3, 2, 254, 253, 3)));
}

TEST(CropPasteTest, CropRefusesEmptyOrOutsideRectangles) {
  const TBitmap src = Filled(10, 8, 1, 2, 3);
  EXPECT_EQ(CropBitmap(&src, 0, 0, 0, 5), nullptr);
  EXPECT_EQ(CropBitmap(&src, 10, 0, 1, 1), nullptr);
  EXPECT_EQ(CropBitmap(&src, 0, 8, 1, 1), nullptr);
  EXPECT_EQ(CropBitmap(&src, -1, 0, 1, 1), nullptr);
  EXPECT_EQ(CropBitmap(nullptr, 0, 0, 1, 1), nullptr);
  const auto cut = CropBitmap(&src, 8, 6, 5, 5);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(cut->Width(), 2);
  EXPECT_EQ(cut->Height(), 2);
}

TEST(CropPasteTest, CropCopiesTheRectangle) {
  TBitmap src(4, 3);
  for (int y = 0; y < 3; ++y) {
    for (int i = 0; i < 12; ++i) src.ScanLine(y)[i] = static_cast<std::uint8_t>(y * 12 + i);
  }
  const auto crop = CropBitmap(&src, 1, 1, 2, 2);
  ASSERT_NE(crop, nullptr);
  EXPECT_EQ(crop->ScanLine(0)[0], 12 + 3);
  EXPECT_EQ(crop->ScanLine(1)[5], 24 + 3 + 5);
}

TEST(CropPasteTest, PasteClipsAtTheDestinationEdge) {
  TBitmap dst = Filled(100, 100, 0, 0, 0);
  const TBitmap src = Filled(10, 10, 7, 7, 7);
  PasteBitmap(&dst, 95, 95, &src);
  int changed = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) changed += dst.ScanLine(y)[3 * x] == 7;
  }
  EXPECT_EQ(changed, 25);
  EXPECT_EQ(dst.ScanLine(99)[3 * 99], 7);
  PasteBitmap(&dst, 100, 0, &src);  // starts outside: nothing
  PasteBitmap(&dst, -1, 0, &src);
  EXPECT_EQ(dst.ScanLine(0)[0], 0);
}

TEST(BilinearTest, ExactPositionsAndSnapping) {
  TBitmap bitmap(6, 2);
  for (int x = 0; x < 6; ++x) {
    for (int y = 0; y < 2; ++y) {
      std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(10 * x);
      p[1] = static_cast<std::uint8_t>(100 + y);
      p[2] = static_cast<std::uint8_t>(200 + x);
    }
  }
  const RowTable rows = BuildRowTable(bitmap);
  std::uint8_t r, g, b;
  BilinearSample(6, 2, rows, 3.0, 1.0, r, g, b, 0.0);
  EXPECT_EQ(b, 30);
  EXPECT_EQ(g, 101);
  EXPECT_EQ(r, 203);
  BilinearSample(6, 2, rows, 3.995, 0.0, r, g, b, 0.01);
  EXPECT_EQ(b, 40);
  EXPECT_EQ(r, 204);
  BilinearSample(6, 2, rows, 3.5, 0.0, r, g, b, 0.0);
  EXPECT_EQ(b, 35);
  // Far outside, or not a number: the edge pixels, never a read outside the rows.
  BilinearSample(6, 2, rows, 1e300, -1e300, r, g, b, 0.1);
  EXPECT_EQ(b, 50);
  EXPECT_EQ(g, 100);
  BilinearSample(6, 2, rows, std::nan(""), 0.0, r, g, b, 0.1);
  EXPECT_EQ(b, 0);
}

TEST(ConversionTest, ToByteAndTruncToInt) {
  EXPECT_EQ(ToByte(-0.5L), 0);
  EXPECT_EQ(ToByte(std::nanl("")), 0);
  EXPECT_EQ(ToByte(255.9L), 255);
  EXPECT_EQ(ToByte(1e30L), 255);
  EXPECT_EQ(ToByte(17.99L), 17);
  EXPECT_EQ(TruncToInt(-3.9L), -3);
  EXPECT_THROW(TruncToInt(std::nanl("")), EImvoraError);
  EXPECT_THROW(TruncToInt(3e9L), EImvoraError);
}

TEST(RasterTest, ResizeKeepsPixelsAndRefusesAbsurdSizes) {
  TBitmap bitmap = Filled(3, 3, 5, 6, 7);
  bitmap.SetHeight(0);
  EXPECT_TRUE(bitmap.Empty());
  TBitmap other = Filled(3, 3, 5, 6, 7);
  other.SetSize(4, 2);
  EXPECT_EQ(other.ScanLine(1)[3 * 2], 5);
  EXPECT_EQ(other.ScanLine(1)[3 * 3], 0);
  EXPECT_THROW(other.SetSize(1 << 20, 1 << 20), EImvoraError);
  EXPECT_EQ(other.Width(), 4);
  other.SetPixelFormat(32);
  EXPECT_EQ(other.ScanLine(0)[4 + 2], 7);
  other.SetPixelFormat(24);
  EXPECT_EQ(other.ScanLine(0)[3 + 2], 7);
}

}  // namespace
}  // namespace imvora
