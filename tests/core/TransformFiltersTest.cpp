#include <gtest/gtest.h>

#include <climits>
#include <numeric>
#include <random>
#include <set>
#include <string>

#include "core/Error.h"
#include "filters/2DCleaner.h"
#include "filters/FFT.h"
#include "filters/TrigTransforms.h"
#include "filters/Wavelet.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::RandomBitmap;
using Levels = std::vector<int>;

// A picture of grey levels, row by row.
TBitmap Greys(int w, int h, const Levels& levels) {
  TBitmap b(w, h);
  for (int i = 0; i < w * h; ++i) reference::SetGrey(b, i % w, i / w, levels[i]);
  return b;
}

// The picture after one run of the filter with parameter 0 set to `param`.
template <class Filter>
TBitmap Applied(TBitmap image, int param, bool f1 = true, bool f2 = true, bool f3 = true) {
  Filter filter;
  filter.SetParam(0, param);
  filter.Apply(&image, f1, f2, f3);
  return image;
}

TEST(TrigTransformsTest, LinesNewmatWouldCrashOnAreRefused) {
  // newmat crashes on a type-II inverse of length 0 and on any transform of length 1.
  double value = 1;
  for (int n : {0, 1}) {
    EXPECT_THROW(TransformLines(TTrigFamily::Sine, n == 0, {&value, 1, n, 1, 1}), EImvoraError);
  }
}

// The filter, parameter 0, the picture's size, its grey levels before and after.
TEST(TransformFiltersTest, SmallPicturesExactly) {
  const auto fft = &Applied<TFFTFilter>, wavelet = &Applied<TWaveletFilter>;
  Levels uniformSpectrum(24, 128);
  uniformSpectrum[0] = 149;  // trunc(8 ln(1 + 24 v) + 128), v = 2 · 200 / 255 - 1
  const Levels square = {1, 2, 3, 4}, odd = {4, 9, 0, 4, 9, 8, 12, 5, 8, 9, 1, 2, 3, 4, 5};
  const Levels oddLevel = {8, 4, 127, 126, 9, 126, 127, 128, 128, 9, 1, 2, 3, 4, 5};
  const std::tuple<decltype(fft), int, int, int, Levels, Levels> cases[] = {
      {fft, 0, 2, 1, {255, 0}, {128, 135}},            // DCT_II: 0, √2 → 8 ln(1 + √2) = 7.05
      {fft, 2, 2, 1, {128, 135}, {253, 1}},            // back within the spectrum's rounding
      {fft, 0, 1, 3, {255, 0, 255}, {128, 128, 136}},  // type-I DCT down the column: 0, 0, 2
      {fft, 1, 2, 1, {255, 0}, {128, 136}},            // DST_II: 0, 2
      {fft, 3, 2, 1, {128, 136}, {237, 17}},
      {fft, 1, 1, 3, {255, 0, 255}, {128, 122, 128}},    // type-I DST: 0, -1, 0
      {fft, 3, 1, 3, {128, 122, 128}, {127, 0, 127}},    // ... whose ends come back as 0
      {fft, 2, 4, 3, Levels(12, 128), Levels(12, 127)},  // 128 decodes to 0
      {fft, 3, 3, 4, Levels(12, 128), Levels(12, 127)},
      {fft, 0, 1, 1, {0}, {122}},  // a 1 × 1 picture is only re-encoded
      {fft, 0, 4, 6, Levels(24, 200), uniformSpectrum},
      // One wavelet level gives quadrants of averages and details; negative orders undo it.
      {wavelet, 1, 2, 2, {76, 72, 163, 156}, {116, 86, 130, 128}},
      {wavelet, -1, 2, 2, {116, 86, 130, 128}, {76, 72, 160, 156}},
      {wavelet, 1, 4, 2, Levels(8, 77), {77, 77, 128, 128, 128, 128, 128, 128}},
      {wavelet, 1, 5, 3, odd, oddLevel},   // w = 2, h = 1: the last row and column stay, and
                                           // the details truncate toward 0
      {wavelet, 2, 2, 2, square, square},  // levels beyond the size change nothing
      {wavelet, 32, 2, 2, square, square},
      {wavelet, INT_MIN, 2, 2, square, square},
  };
  for (const auto& c : cases) {
    const auto& [filter, param, w, h, in, out] = c;
    EXPECT_TRUE(filter(Greys(w, h, in), param, true, true, true).SamePixels(Greys(w, h, out)))
        << "case " << &c - cases;
  }
}

TEST(FFTTest, UnflaggedChannelsKeepTwelveLevels) {
  Levels ramp(256);
  std::iota(ramp.begin(), ramp.end(), 0);
  const TBitmap spectrum = Applied<TFFTFilter>(Greys(256, 1, ramp), 0, true, false, false);
  const TBitmap back = Applied<TFFTFilter>(spectrum, 2, true, false, false);
  std::set<int> levels, returned;
  for (int x = 0; x < 256; ++x) {
    levels.insert(Byte(spectrum, x, 0, 1));
    returned.insert(Byte(back, x, 0, 0));
  }
  EXPECT_EQ(levels, (std::set<int>{122, 123, 124, 125, 126, 127, 128, 129, 130, 131, 132, 133}));
  EXPECT_EQ(returned, (std::set<int>{0, 16, 44, 69, 91, 110, 127, 144, 163, 185, 210, 238}));
  EXPECT_TRUE(Byte(back, 255, 0, 1) == 238 && Byte(back, 128, 0, 1) == 127);
}

TEST(CleanerTest, WindowsAreClippedAndThresholded) {
  using Plane = std::vector<std::uint8_t>;
  const Plane plane = {10, 20, 30, 40, 50, 60, 70, 80, 95};
  const std::tuple<int, int, Plane> cases[] = {
      {1, 255, {30, 35, 40, 45, 50, 55, 60, 65, 71}},  // corners average 4 values, edges 6
      {1, 10, {15, 20, 25, 45, 50, 55, 75, 75, 95}},
      {1, 0, plane},
      {-4, 255, plane},  // a negative radius from a call acts as 0
      {1, -9, plane},    // a negative threshold as 0
  };
  for (const auto& [r, t, expected] : cases) {
    Plane out(9);
    CleanPlane(plane.data(), 3, 3, r, t, out.data(), TCleanerScan::Plain);
    EXPECT_EQ(out, expected) << r << " " << t;
  }
}

TEST(CleanerTest, ConversionRoundTrips) {
  // Red, green, blue in and out; greys keep U = V = 128 and come back unchanged.
  const int cases[][6] = {{255, 0, 0, 254, 0, 0},
                          {0, 0, 255, 0, 0, 254},
                          {112, 112, 112, 112, 112, 112},
                          {10, 200, 90, 9, 201, 88}};
  for (const auto& c : cases) {
    const TBitmap pixel = reference::Flat(1, 1, c[2], c[1], c[0]);
    EXPECT_TRUE(
        Applied<T2DCleanerFilter>(pixel, 1).SamePixels(reference::Flat(1, 1, c[5], c[4], c[3])))
        << c[0] << " " << c[1] << " " << c[2];
  }
}

TEST(WaveletTest, RoundTripsWithinThreeAndDeeperLevelsKeepTheDetails) {
  std::mt19937 random(46);
  for (int trial = 0; trial < 100; ++trial) {
    const int w = 1 + random() % 20, h = 1 + random() % 20, k = 1 + random() % 3;
    const TBitmap input = RandomBitmap(random, w, h);
    const TBitmap level = Applied<TWaveletFilter>(input, k);
    const TBitmap back = Applied<TWaveletFilter>(level, -k),
                  deeper = Applied<TWaveletFilter>(level, k + 1);
    reference::ForBytes(input, [&](int x, int y, int c) {
      ASSERT_LE(std::abs(Byte(back, x, y, c) - Byte(input, x, y, c)), 3);
      if (x >= w >> k || y >= h >> k) {
        ASSERT_EQ(Byte(deeper, x, y, c), Byte(level, x, y, c));
      }
    });
  }
}

TEST(WaveletTest, EditAndCheckBoxKeepTheSignInStep) {
  TWaveletFilter wavelet;
  wavelet.SetParam(0, -2);
  THeadlessPanel panel;
  wavelet.CreateControls(panel);
  TEdit* edit = wavelet.OrderEdit();
  TCheckBox* box = wavelet.InverseCheckBox();
  const TLabel* label = wavelet.OrderLabel();
  EXPECT_TRUE(box->Caption() == "Обратить" && box->Left() == 8 &&
              box->Top() == label->Bottom() + 16);
  EXPECT_TRUE(box->Width() == label->Width() + 56 && panel.ClientWidth() == box->Right() + 8);
  const std::string lowest = std::to_string(INT_MIN);
  // Action (t: toggle the box, e: type, s: SetParam), its text, then the edit, Order, box.
  const std::tuple<char, std::string, std::string, int, bool> steps[] = {
      {'=', "", "-2", -2, false},  // the box opens unticked whatever Order holds
      {'t', "", "-2", -2, true},
      {'t', "", "2", 2, false},
      {'e', "3", "3", 3, false},
      {'t', "", "-3", -3, true},
      {'e', "x", "x", -3, true},
      {'e', "0", "1", 1, false},  // unticking rewrites the edit
      {'e', "0", "0", 1, false},
      {'s', "0", "0", 1, false},  // SetParam ignores 0
      {'s', "-5", "-5", -5, true},
      {'s', lowest, lowest, INT_MIN, true},
      {'t', "", std::to_string(INT_MAX), INT_MAX, false},
  };
  for (const auto& [action, text, shown, order, ticked] : steps) {
    if (action == 't') box->UserToggled(!box->Checked());
    if (action == 'e') edit->UserEdited(text);
    if (action == 's') wavelet.SetParam(0, std::stoi(text));
    EXPECT_TRUE(wavelet.Order == order && edit->Text() == shown && box->Checked() == ticked)
        << action << text << ": " << wavelet.Order << " " << edit->Text();
  }
}

}  // namespace
}  // namespace imvora
