// Median and morphology filters: fixed cases and windows too wide for the fast counters.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "filters/Median.h"
#include "filters/Morpho.h"
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

TBitmap Median(TBitmap b, int r) {
  TMedianFilter filter;
  filter.Radius = r;
  filter.Apply(&b, true, true, true);
  return b;
}

TBitmap Morpho(TBitmap b, int r, std::int8_t op) {
  TMorphoFilter filter;
  filter.Radius = r;
  filter.Operation = op;
  filter.Apply(&b, true, true, true);
  return b;
}

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

// Windows of more than 65535 pixels need wider counters; the plain median is checked at sampled
// pixels because it is slow there.
TEST(MedianFilter, WideWindowsMatchPlainMedianAtSamples) {
  std::mt19937 rng(31);
  const TBitmap b = RandomBitmap(rng, 270, 262, 16);
  const TBitmap out = Median(b, 130);
  std::uniform_int_distribution<int> px(0, 269), py(0, 261);
  std::vector<std::uint8_t> values;
  for (int i = 0; i < 12; ++i) {
    const int x = i < 4 ? (i % 2) * 269 : px(rng), y = i < 4 ? (i / 2) * 261 : py(rng);
    std::vector<const std::uint8_t*> rows;
    for (int yy = y - 130; yy <= y + 130; ++yy) {
      rows.push_back(yy >= 0 && yy < 262 ? b.ScanLine(yy) : nullptr);
    }
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(Byte(out, x, y, c), WindowMedian(rows.data(), 261, 270, x, 130, c, values));
    }
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
  std::mt19937 rng(3);
  const TBitmap b = RandomBitmap(rng, 8, 6);
  EXPECT_TRUE(Morpho(b, 1, 6).SamePixels(b)) << "unknown operation";
  TBitmap other(8, 7);
  TMorphoFilter().MaxFilter(&b, &other, true, true, true);
  EXPECT_TRUE(other.SamePixels(TBitmap(8, 7))) << "sizes differ";
}

}  // namespace
}  // namespace imvora
