#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "filters/Levels.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Flat;
using TCurve = std::array<std::int32_t, 256>;
using TPoints = std::vector<std::pair<int, int>>;  // (input level, output level)

TCurve MakeCurve(const std::function<int(int)>& level) {
  TCurve c;
  for (int i = 0; i < 256; ++i) c[i] = level(i);
  return c;
}
const TCurve kIdentity = MakeCurve([](int i) { return i; });
const TCurve kNegative = MakeCurve([](int i) { return 255 - i; });

TEST(LevelsTest, ApplyPerChannelAndByLuminance) {
  // Curve applied to the luminance or per channel, the flags, the picture before and after
  // (Flat(w, h, blue, green, red)).
  const TCurve zeroAt40 = MakeCurve([](int i) { return i ? i : 40; });
  const std::tuple<bool, TCurve, const char*, TBitmap, TBitmap> cases[] = {
      {false, kNegative, "YNY", Flat(1, 1, 10, 20, 30), Flat(1, 1, 245, 20, 225)},
      {true, kNegative, "NYN", Flat(1, 1, 10, 20, 30), Flat(1, 1, 10, 235, 30)},
      {true, kIdentity, "YYY", Flat(1, 1, 30, 200, 10), Flat(1, 1, 30, 200, 10)},
      {true, kIdentity, "YYY", Flat(1, 1, 1, 1, 1), Flat(1, 1, 0, 0, 0)},
      {true, kIdentity, "YYY", Flat(1, 1, 5, 0, 0), Flat(1, 1, 0, 0, 0)},
      // A grey v has the luminance v − 1: Curve[199] · 200 / 199.
      {true, kNegative, "YYY", Flat(1, 1, 200, 200, 200), Flat(1, 1, 56, 56, 56)},
      {true, kNegative, "YYY", Flat(1, 1, 0, 0, 255), Flat(1, 1, 0, 0, 255)},
      {true, kIdentity, "YYN", Flat(1, 1, 7, 100, 100), Flat(1, 1, 7, 100, 100)},
      // Blue and red: L = trunc(0.276 · 100 + 0.724 · 200) = 172, Curve[172] = 83.
      {true, kNegative, "YNY", Flat(1, 1, 100, 50, 200), Flat(1, 1, 48, 50, 96)},
      {true, zeroAt40, "NYY", Flat(1, 1, 0, 0, 9), Flat(1, 1, 40, 40, 9)},
  };
  for (const auto& [luminance, curve, flags, in, out] : cases) {
    TLevelsFilter levels;
    levels.Editor->Curve = curve;
    levels.Editor->ApplyToLuminance = luminance;
    TBitmap image = in;
    levels.Apply(&image, flags[0] == 'Y', flags[1] == 'Y', flags[2] == 'Y');
    EXPECT_TRUE(image.SamePixels(out)) << flags << " " << luminance;
  }
}

TEST(LevelsTest, EditingTheCurve) {
  // Steps: mouse 'd'own, 'm'ove, 'u'p at (x, y); 'i'nterpolation on; 'I'nvert; 'P'ower;
  // 's'et parameter x to y.
  const TCurve flat = MakeCurve([](int) { return 128; });
  const TCurve doubled = MakeCurve([](int i) { return std::min(2 * i, 255); });
  const struct {
    std::vector<std::tuple<char, int, int>> steps;
    TPoints expected;
    const char* power = "";
    TCurve curve = kIdentity;
    bool interpolation = true;
  } cases[] = {
      {{{'I', 0, 0}}, {{0, 255}, {100, 155}, {255, 0}}, "", kNegative},
      {{{'I', 0, 0}}, {{0, 0}, {77, 77}, {255, 255}}},
      {{{'I', 0, 0}}, {{0, 255}, {255, 255}}, "", flat},
      {{{'I', 0, 0}}, {{0, 0}, {1, 0}, {4, 2}, {5, 2}, {254, 127}, {255, 255}}, "", doubled},
      {{{'P', 0, 0}}, {{0, 255}, {64, 255}}, "x"},
      {{{'P', 0, 0}}, {{0, 255}, {128, 255}}, "nan"},
      {{{'P', 0, 0}}, {{0, 255}, {1, 255}, {255, 255}}, "-1"},
      {{{'d', 10, 200}, {'m', 20, 100}, {'u', 20, 100}}, {{10, 56}, {19, 146}, {21, 21}}},
      {{{'d', 10, 200}, {'m', 20, 100}}, {{10, 56}, {15, 15}, {20, 156}}, "", kIdentity, false},
      // The top row gives the level of the row below it; positions outside are limited.
      {{{'m', 5, 5}, {'d', 100, 0}, {'u', 300, -9}, {'m', 30, 30}},
       {{5, 5}, {99, 99}, {100, 255}, {200, 255}, {30, 30}}},
      {{{'d', 3, 256}, {'m', 0, 250}}, {{0, 6}, {1, 5}, {2, 3}, {3, 1}}},
      // The press point stays inside the box when the drag switches to interpolation.
      {{{'d', 5, 0}, {'i', 0, 0}, {'m', 6, 0}}, {{5, 255}, {6, 255}}, "", kIdentity, false},
      {{{'s', 0, 255}, {'s', 2, 253}, {'s', 256, 1}, {'s', -1, 1}, {'s', 3, 256}, {'s', 4, -1}},
       {{0, 255}, {1, 1}, {2, 253}, {3, 3}, {4, 4}, {255, 255}}},
  };
  for (const auto& c : cases) {
    TLevelsFilter levels;
    TLevelsForm& form = *levels.Editor;
    form.Curve = c.curve;
    form.Interpolation = c.interpolation;
    form.PowText = c.power;
    for (auto [kind, x, y] : c.steps) {
      if (kind == 'd') form.LevPaintBoxMouseDown(x, y);
      if (kind == 'm') form.LevPaintBoxMouseMove(x, y);
      if (kind == 'u') form.LevPaintBoxMouseUp(x, y);
      if (kind == 'I') form.InvertButtonClick();
      if (kind == 'P') form.PowButtonClick();
      if (kind == 's') levels.SetParam(x, y);
      form.Interpolation |= kind == 'i';
    }
    for (auto [in, out] : c.expected) EXPECT_EQ(form.Curve[in], out) << &c - cases << ": " << in;
  }
}

}  // namespace
}  // namespace imvora
