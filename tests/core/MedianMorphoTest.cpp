// Median and morphology filters: fixed cases, the fast window code against plain transcriptions
// (gather the window, sort, pick n / 2; scan the full square for max / min), the parameter
// controls and the runs through a document.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/Document.h"
#include "filters/FilterCatalog.h"
#include "filters/Median.h"
#include "filters/Morpho.h"
#include "tests/core/FakeUi.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::ForBytes;
using reference::RandomBitmap;
using reference::SetGrey;

TBitmap Grey(int w, int h, std::uint8_t v) {
  return reference::Flat(w, h, v, v, v);
}

// The window bytes inside the bitmap, visited without stepping over the outside ones.
std::vector<int> Window(const TBitmap& b, int x, int y, int r, int c) {
  const long long r64 = r;
  std::vector<int> values;
  for (long long yy = std::max(0LL, y - r64); yy <= std::min<long long>(b.Height() - 1, y + r64);
       ++yy) {
    for (long long xx = std::max(0LL, x - r64); xx <= std::min<long long>(b.Width() - 1, x + r64);
         ++xx) {
      values.push_back(Byte(b, static_cast<int>(xx), static_cast<int>(yy), c));
    }
  }
  return values;
}

// op: 0 median (index n / 2 of the sorted window), 1 maximum, 2 minimum.
int PlainAt(const TBitmap& in, int x, int y, int r, int c, int op = 0) {
  std::vector<int> v = Window(in, x, y, r, c);
  const auto pick = op == 0   ? v.begin() + v.size() / 2
                    : op == 1 ? std::max_element(v.begin(), v.end())
                              : std::min_element(v.begin(), v.end());
  if (op == 0) std::nth_element(v.begin(), pick, v.end());
  return *pick;
}

// Flag 1 is byte 2 (red), flag 3 byte 0 (blue).
TBitmap Plain(const TBitmap& in, int r, int op, const bool flags[3]) {
  TBitmap out = in;
  ForBytes(in, [&](int x, int y, int c) {
    if (flags[2 - c]) Byte(out, x, y, c) = static_cast<std::uint8_t>(PlainAt(in, x, y, r, c, op));
  });
  return out;
}

TBitmap PlainMorpho(const TBitmap& in, int r, int op, const bool flags[3]) {
  auto pick = [&](const TBitmap& b, bool maximum) { return Plain(b, r, maximum ? 1 : 2, flags); };
  auto difference = [&](TBitmap a, const TBitmap& b) {
    ChannelDifference(&a, &b, flags[0], flags[1], flags[2], 0, 0, 0);
    return a;
  };
  if (op < 2) return pick(in, op == 0);
  if (op < 4) return pick(pick(in, op == 2), op == 3);
  return op == 4 ? difference(pick(in, true), in) : difference(in, pick(in, false));
}

const bool kAll[3] = {true, true, true};

TBitmap Median(TBitmap b, int r, const bool flags[3] = kAll) {
  TMedianFilter filter;
  filter.SetParam(0, r);
  filter.Apply(&b, flags[0], flags[1], flags[2]);
  return b;
}

TBitmap Morpho(TBitmap b, int r, int op, const bool flags[3] = kAll) {
  TMorphoFilter filter;
  filter.Radius = r;  // SetParam would ignore 0
  filter.SetParam(1, op);
  filter.Apply(&b, flags[0], flags[1], flags[2]);
  return b;
}

// Sizes that reach every path: 1-pixel-wide and -high, the 3 x 3 interior, strips of the
// vertical pass (64 columns) and its last partial strip.
const std::vector<std::pair<int, int>> kSizes = {{1, 1},  {1, 9},   {9, 1},   {2, 2},   {1, 40},
                                                 {40, 1}, {3, 3},   {5, 4},   {17, 13}, {31, 8},
                                                 {8, 31}, {70, 12}, {130, 9}, {12, 70}};
const std::vector<int> kRadii = {0, 1, 2, 3, 4, 5, 7, 12, 100, INT_MAX};

TEST(MedianFilter, FixedCases) {
  TBitmap dot = Grey(5, 5, 0);
  SetGrey(dot, 2, 2, 255);
  EXPECT_TRUE(Median(dot, 1).SamePixels(Grey(5, 5, 0))) << "a lone white pixel is removed";
  // Corner window of 4 values 10, 20, 30, 40: index 4 / 2 = 2, the third smallest.
  TBitmap corner = Grey(4, 4, 200);
  for (auto [x, y, v] : {std::tuple{0, 0, 40}, {1, 0, 10}, {0, 1, 30}, {1, 1, 20}}) {
    SetGrey(corner, x, y, static_cast<std::uint8_t>(v));
  }
  EXPECT_EQ(Byte(Median(corner, 1), 0, 0, 1), 30);
  // Row 0 and column 0 count in the window of (1, 1): five white of nine make it white.
  TBitmap edge = Grey(4, 4, 0);
  for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {2, 0}, {0, 1}, {0, 2}}) SetGrey(edge, x, y, 255);
  EXPECT_EQ(Byte(Median(edge, 1), 1, 1, 2), 255);
  std::mt19937 rng(7);
  const TBitmap b = RandomBitmap(rng, 9, 7);
  for (int r : {0, -1, INT_MIN}) EXPECT_TRUE(Median(b, r).SamePixels(b)) << r;
}

TEST(MedianFilter, MatchesPlainMedianOnRandomImages) {
  std::mt19937 rng(2024);
  for (int levels : {256, 3, 2}) {
    for (auto [w, h] : kSizes) {
      for (int r : kRadii) {
        const TBitmap b = RandomBitmap(rng, w, h, levels);
        EXPECT_TRUE(Median(b, r).SamePixels(Plain(b, r, 0, kAll)))
            << w << "x" << h << " r=" << r << " levels=" << levels;
      }
    }
  }
  const TBitmap b = RandomBitmap(rng, 23, 19);
  for (int mask = 0; mask < 8; ++mask) {
    const bool flags[3] = {(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0};
    for (int r : {1, 2}) EXPECT_TRUE(Median(b, r, flags).SamePixels(Plain(b, r, 0, flags))) << mask;
  }
}

// Windows of more than 65535 pixels need wider counters; the plain median is checked at sampled
// pixels because it is slow there.
TEST(MedianFilter, WideWindowsMatchPlainMedianAtSamples) {
  std::mt19937 rng(31);
  const TBitmap b = RandomBitmap(rng, 270, 262, 16);
  const TBitmap out = Median(b, 130);
  std::uniform_int_distribution<int> px(0, 269), py(0, 261);
  for (int i = 0; i < 12; ++i) {
    const int x = i < 4 ? (i % 2) * 269 : px(rng), y = i < 4 ? (i / 2) * 261 : py(rng);
    for (int c = 0; c < 3; ++c) ASSERT_EQ(Byte(out, x, y, c), PlainAt(b, x, y, 130, c));
  }
}

TEST(MorphoFilter, FixedCases) {
  TBitmap line = Grey(7, 7, 255), thick = Grey(7, 7, 255);
  for (int y = 0; y < 7; ++y) {
    SetGrey(line, 3, y, 0);
    for (int x = 2; x <= 4; ++x) SetGrey(thick, x, y, 0);
  }
  EXPECT_TRUE(Morpho(line, 1, 0).SamePixels(Grey(7, 7, 255))) << "сужение removes the line";
  EXPECT_TRUE(Morpho(line, 1, 1).SamePixels(thick)) << "расширение makes it three wide";
  // The inner contour of a black square is its border, the outer one the ring around it.
  TBitmap square = Grey(12, 12, 255);
  auto inSquare = [](int x, int y, int grow) {
    return x >= 4 - grow && x <= 9 + grow && y >= 3 - grow && y <= 8 + grow;
  };
  ForBytes(square, [&](int x, int y, int c) {
    if (inSquare(x, y, 0)) Byte(square, x, y, c) = 0;
  });
  const TBitmap inner = Morpho(square, 1, 4), outer = Morpho(square, 1, 5);
  ForBytes(square, [&](int x, int y, int c) {
    EXPECT_EQ(Byte(inner, x, y, c), inSquare(x, y, 0) && !inSquare(x, y, -1) ? 255 : 0);
    EXPECT_EQ(Byte(outer, x, y, c), inSquare(x, y, 1) && !inSquare(x, y, 0) ? 255 : 0);
  });
}

TEST(MorphoFilter, MatchesPlainMorphologyOnRandomImages) {
  std::mt19937 rng(99);
  for (int levels : {256, 2}) {
    for (auto [w, h] : kSizes) {
      for (int r : kRadii) {
        const TBitmap b = RandomBitmap(rng, w, h, levels);
        for (int op = 0; op < 6; ++op) {
          EXPECT_TRUE(Morpho(b, r, op).SamePixels(PlainMorpho(b, r, op, kAll)))
              << w << "x" << h << " r=" << r << " op=" << op << " levels=" << levels;
        }
      }
    }
  }
  // Only the green flag: red and blue stay as they are.
  const TBitmap b = RandomBitmap(rng, 21, 17);
  const bool green[3] = {false, true, false};
  for (int op = 0; op < 6; ++op) {
    for (int r : {1, 5}) {
      const TBitmap out = Morpho(b, r, op, green);
      EXPECT_TRUE(out.SamePixels(PlainMorpho(b, r, op, green))) << op;
      EXPECT_TRUE(reference::SameChannel(out, b, 0) && reference::SameChannel(out, b, 2));
    }
  }
}

TEST(MorphoFilter, IgnoredInputs) {
  std::mt19937 rng(3);
  const TBitmap b = RandomBitmap(rng, 8, 6);
  TMorphoFilter filter;
  filter.Operation = 6;
  TBitmap copy = b;
  filter.Apply(&copy, true, true, true);
  EXPECT_TRUE(copy.SamePixels(b)) << "unknown operation";
  filter.Operation = TMorphoFilter::kShrink;
  filter.Apply(&copy, false, false, false);
  EXPECT_TRUE(copy.SamePixels(b)) << "no flag";
  filter.Apply(nullptr, true, true, true);
  TBitmap other(8, 7), target(8, 6);
  filter.MaxFilter(&b, &other, true, true, true);
  EXPECT_TRUE(other.SamePixels(TBitmap(8, 7))) << "sizes differ";
  filter.MinFilter(&b, &target, true, false, false);
  EXPECT_TRUE(target.SamePixels(Plain(b, 1, 2, std::array{true, false, false}.data())));
}

// The generic edit and list rules are covered by the parameter framework's tests; these check
// the declarations.
TEST(MedianMorphoParams, DefaultsBoundsAndSetParam) {
  TMedianFilter median;
  EXPECT_EQ(median.Radius, 1);
  median.SetParam(0, -4);
  EXPECT_EQ(median.Radius, -4) << "without controls the value is stored unchanged";
  THeadlessPanel medianPanel, panel;
  median.CreateControls(medianPanel);
  median.RadiusEdit()->UserEdited("0");
  EXPECT_EQ(median.Radius, 1);
  EXPECT_EQ(median.RadiusEdit()->Text(), "0");
  median.SetParam(0, -2);
  EXPECT_EQ(median.RadiusEdit()->Text(), "-2");
  EXPECT_EQ(median.Radius, 1) << "with controls the edit's bound applies";

  TMorphoFilter morpho;
  EXPECT_EQ(morpho.Radius, 1);
  EXPECT_EQ(morpho.Operation, 0);
  for (auto [index, value] : {std::pair{0, 0}, {0, -3}, {1, 6}, {1, -1}}) {
    morpho.SetParam(index, value);
  }
  EXPECT_EQ(morpho.Radius, 1) << "radius at or below 0 is ignored";
  EXPECT_EQ(morpho.Operation, 0) << "codes outside 0..5 are ignored";
  morpho.SetParam(0, 4);
  morpho.SetParam(1, 3);
  morpho.CreateControls(panel);
  TEdit* edit = morpho.RadiusEdit();
  TComboBox* combo = morpho.OperationComboBox();
  EXPECT_EQ(edit->Text(), "4");
  EXPECT_EQ(combo->Items(),
            (std::vector<std::string>{"сужение", "расширение", "открытие", "закрытие",
                                      "внутренний контур", "внешний контур"}));
  EXPECT_EQ(combo->ItemIndex(), 0) << "the list opens on item 0 whatever Operation holds";
  EXPECT_EQ(morpho.Operation, 3);
  combo->UserSelected(5);
  EXPECT_EQ(morpho.Operation, 5);
  morpho.SetParam(1, 4);
  EXPECT_EQ(combo->ItemIndex(), 4);
  EXPECT_EQ(morpho.Operation, 4);
  edit->UserEdited("0");
  EXPECT_EQ(morpho.Radius, 1);
  EXPECT_EQ(edit->Text(), "0");
  morpho.SetParam(0, 7);
  EXPECT_EQ(edit->Text(), "7");
  EXPECT_EQ(morpho.Radius, 7);
}

TEST(MedianMorphoDocument, SelectionCutsWindowsAndKeepsTheRest) {
  testing::TFakeUi ui;
  TDocument document{ui};
  RegisterFilters(document);
  std::mt19937 rng(23);
  const TBitmap b = RandomBitmap(rng, 30, 20);
  const std::unique_ptr<TBitmap> part = CropBitmap(&b, 5, 4, 16, 12);
  const bool redBlue[3] = {true, false, true};
  const std::vector<std::pair<const char*, TBitmap>> cases = {
      {"Median(YYY 2)", Plain(*part, 2, 0, kAll)},
      {"Morpho(YYY 2 2)", PlainMorpho(*part, 2, 2, kAll)},
      {"Morpho(YNY 1 4)", PlainMorpho(*part, 1, 4, redBlue)},
      {"Morpho(YYY 1 5)", PlainMorpho(*part, 1, 5, kAll)}};
  for (const auto& [call, filtered] : cases) {
    document.CurrentImage = b;
    document.ShowBitmap(document.CurrentImage);
    document.SetSelection(5, 4, 20, 15);
    ASSERT_TRUE(document.RunFilterCall(call));
    TBitmap expected = b;
    PasteBitmap(&expected, 5, 4, &filtered);
    EXPECT_TRUE(document.CurrentImage.SamePixels(expected)) << call;
  }
}

}  // namespace
}  // namespace imvora
