#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/Filtering.h"
#include "core/Random.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::Flat;

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

TEST(ScannersTest, IntegersSaturateAndPointAtTheNextNumber) {
  // Reader (U: unsigned), text, value read, the text from the next number on (null: none).
  const std::tuple<char, const char*, std::int32_t, const char*> cases[] = {
      {'I', "Gauss", 0, nullptr},
      {'I', "-7x12", -7, "12"},
      {'I', "99999999999999999999", INT_MAX, nullptr},
      {'I', "-99999999999999999999", INT_MIN, nullptr},
      {'I', "-2147483648", INT_MIN, nullptr},
      {'I', "2147483648", INT_MAX, nullptr},
      {'U', "-5", 0, "-5"},  // the minus is left for the next read
  };
  for (const auto& [reader, text, value, rest] : cases) {
    std::int32_t v = 99;
    EXPECT_STREQ(reader == 'U' ? ScanUInt(text, v) : ScanInt(text, v), rest) << text;
    EXPECT_EQ(v, value) << text;
  }
  std::int32_t v;
  EXPECT_EQ(ScanInt("", v), nullptr);
  EXPECT_EQ(ScanInt(nullptr, v), nullptr);
}

TEST(ScannersTest, ScanDecimalReadsFractions) {
  const std::pair<const char*, std::vector<double>> cases[] = {
      {"2.5 1.25", {2.5, 1.25}},
      {"-0.5", {-0.5}},
      {"7", {7}},
      {"12.5 -3", {12.5, -3}},
      {"3. 4", {3, 4}},
      {"3.x5", {3, 5}},
      {"1.05", {1.05}},
      {"-2.12500 8.00000 ", {-2.125, 8}},
  };
  for (const auto& [text, values] : cases) EXPECT_EQ(ScanAllDecimals(text), values) << text;
  double v;
  EXPECT_EQ(ScanDecimal("0.1234567890123456789012345", v), nullptr);  // long fractions stay defined
  EXPECT_NEAR(v, 0.123456789012345678, 1e-15);
}

TEST(ScannersTest, ScanDoubleReadsALeadingNumber) {
  EXPECT_EQ(ScanDouble("  1.5e2xyz"), 150.0);
  EXPECT_EQ(ScanDouble("abc"), 0.0);
  EXPECT_EQ(ScanDouble("-0.25"), -0.25);
  for (const char* no : {"nan", "-inf", "infinity", "1e999", "+-5"}) EXPECT_EQ(ScanDouble(no), 0.0);
}

TEST(HistogramTest, WhitePixelCountsInLuminanceBin254) {
  const TBitmap white = Flat(1, 1, 255, 255, 255);
  const auto h = BuildHistogram(&white);
  EXPECT_EQ((std::vector<int>{(*h)[255], (*h)[511], (*h)[767], (*h)[768 + 254], (*h)[768 + 255]}),
            (std::vector<int>{1, 1, 1, 1, 0}));
  EXPECT_EQ(BuildHistogram(nullptr), nullptr);
  for (int v = 1; v < 256; ++v) EXPECT_EQ(LuminanceLevel(v, v, v), v - 1) << v;
  EXPECT_EQ(LuminanceLevel(0, 0, 0), 0);
  EXPECT_EQ(LuminanceLevel(0, 0, 255), 76);
}

TEST(HistogramTest, LevelSearchesAndQuantile) {
  std::int32_t block[256] = {}, empty[256] = {}, ends[256] = {};
  block[10] = 3, block[20] = 1;
  // The n-th occupied level from below and from above.
  const auto levels = [](const std::int32_t* b, int n) {
    return std::pair(HistLowLevel(b, n), HistHighLevel(b, n));
  };
  EXPECT_EQ(levels(block, 3), std::pair(20, 10));
  EXPECT_EQ(levels(block, 1), std::pair(10, 20));
  EXPECT_EQ(std::pair(HistLowLevel(block, 0), HistHighLevel(block, -1)), std::pair(0, 255));
  EXPECT_EQ(levels(empty, 2), std::pair(0, 255));
  int low, high;
  HistLevelRange(block, 3, low, high);
  EXPECT_EQ(std::pair(low, high), std::pair(10, 20));
  ends[0] = ends[255] = 10;
  for (auto [share, level] : {std::pair{128, 1}, {256, 0}, {0, 256}, {9999, 0}}) {
    EXPECT_EQ(HistQuantile(ends, share), level) << share;
  }
  EXPECT_EQ(HistQuantile(empty, 128), 0);
}

TEST(RandomTest, SeededGeneratorRepeatsAndGaussRandomHasTheRequestedSpread) {
  const auto draws = [](int seed) {
    SeedRandom(seed);
    std::vector<int> values(1000);
    for (int& v : values) v = ImvoraRandom();
    return values;
  };
  const std::vector<int> first = draws(42);
  EXPECT_EQ(draws(42), first);
  EXPECT_TRUE(*std::min_element(first.begin(), first.end()) >= 0 &&
              *std::max_element(first.begin(), first.end()) <= kRandomMax);
  SeedRandom(7);
  double sum = 0, squares = 0;
  const int n = 20000;
  for (int i = 0; i < n; ++i) {
    const double v = GaussRandom(12, 5.0, 2.0);
    sum += v, squares += v * v;
  }
  EXPECT_NEAR(sum / n, 5.0, 0.05);
  EXPECT_NEAR(std::sqrt(squares / n - sum / n * sum / n), 2.0, 0.05);
  for (int i = 0; i < 1000; ++i)
    EXPECT_LE(std::abs(GaussRandom(1, 0.0, 1.0)), std::sqrt(3.0) + 1e-12);
}

TEST(ChannelOpsTest, DifferenceClampsAndSkipsMismatchedSizes) {
  TBitmap a = Flat(2, 2, 10, 100, 200);
  const TBitmap b = Flat(2, 2, 20, 50, 50), taller = Flat(2, 3, 1, 1, 1);
  ChannelDifference(&a, &b, true, false, true, 120, 0, 0);
  // Red 200 - 50 + 120 and blue 10 - 20 limited, green unflagged.
  EXPECT_TRUE(a.SamePixels(Flat(2, 2, 0, 100, 255)));
  ChannelDifference(&a, &taller, true, true, true, 0, 0, 0);
  EXPECT_TRUE(a.SamePixels(Flat(2, 2, 0, 100, 255)));
}

TEST(CropPasteTest, CropCopiesTheRectangleCutAtTheEdgesOrNothing) {
  std::mt19937 rng(1);
  const TBitmap src = reference::RandomBitmap(rng, 10, 8);
  for (auto [l, t, w, h] : {std::tuple{0, 0, 0, 5}, {10, 0, 1, 1}, {0, 8, 1, 1}, {-1, 0, 1, 1}}) {
    EXPECT_EQ(CropBitmap(&src, l, t, w, h), nullptr) << l << "," << t << " " << w << "x" << h;
  }
  EXPECT_EQ(CropBitmap(nullptr, 0, 0, 1, 1), nullptr);
  const auto cut = CropBitmap(&src, 8, 6, 5, 5);
  ASSERT_TRUE(cut && cut->Width() == 2 && cut->Height() == 2);
  reference::ForBytes(*cut, [&](int x, int y, int c) {
    EXPECT_EQ(Byte(*cut, x, y, c), Byte(src, 8 + x, 6 + y, c));
  });
}

TEST(CropPasteTest, PasteClipsAtTheDestinationEdge) {
  TBitmap dst = Flat(100, 100, 0, 0, 0);
  const TBitmap src = Flat(10, 10, 7, 7, 7);
  PasteBitmap(&dst, 95, 95, &src);
  PasteBitmap(&dst, 100, 0, &src);  // starts outside: nothing
  PasteBitmap(&dst, -1, 0, &src);
  int changed = 0;
  reference::ForBytes(dst, [&](int x, int y, int c) { changed += Byte(dst, x, y, c) == 7; });
  EXPECT_EQ(changed, 3 * 25);
  EXPECT_EQ(Byte(dst, 99, 99, 0), 7);
}

TEST(BilinearTest, ExactPositionsAndSnapping) {
  TBitmap bitmap(6, 2);
  reference::ForBytes(bitmap, [&](int x, int y, int c) {
    Byte(bitmap, x, y, c) = static_cast<std::uint8_t>(c == 0 ? 10 * x : c == 1 ? 100 + y : 200 + x);
  });
  const RowTable rows = BuildRowTable(bitmap);
  const auto sample = [&rows](double x, double y, double threshold) {
    std::uint8_t r, g, b;
    BilinearSample(6, 2, rows, x, y, r, g, b, threshold);
    return std::tuple<int, int, int>(r, g, b);
  };
  EXPECT_EQ(sample(3.0, 1.0, 0.0), std::tuple(203, 101, 30));
  EXPECT_EQ(sample(3.995, 0.0, 0.01), std::tuple(204, 100, 40));
  EXPECT_EQ(sample(3.5, 0.0, 0.0), std::tuple(203, 100, 35));
  EXPECT_EQ(sample(3.4, 0.6, 0.5), std::tuple(203, 101, 30));  // a half snaps to the nearest
  // Far outside, or not a number: the edge pixels, never a read outside the rows.
  EXPECT_EQ(sample(1e300, -1e300, 0.1), std::tuple(205, 100, 50));
  EXPECT_EQ(std::get<2>(sample(std::nan(""), 0.0, 0.1)), 0);
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
  TBitmap bitmap = Flat(3, 3, 5, 6, 7);
  bitmap.SetHeight(0);
  EXPECT_TRUE(bitmap.Empty());
  TBitmap other = Flat(3, 3, 5, 6, 7);
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
