#pragma once

// The pictures, byte helpers and document the filter tests share, and short transcriptions of
// what the product keeps no plain path of.

#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include "core/Document.h"
#include "core/Filtering.h"
#include "core/Random.h"
#include "core/Raster.h"
#include "filters/FilterCatalog.h"
#include "tests/core/FakeUi.h"

namespace imvora::reference {

// The border rule as a loop, exactly as stated.
inline int MirrorIndex(std::int64_t p, int n) {
  while (p < 0 || p >= n) {
    if (p < 0) p = -p;
    if (p >= n) p = 2 * std::int64_t{n} - 1 - p;
  }
  return static_cast<int>(p);
}

inline std::uint8_t& Byte(TBitmap& b, int x, int y, int c) {
  return b.ScanLine(y)[3 * x + c];
}
inline std::uint8_t Byte(const TBitmap& b, int x, int y, int c) {
  return b.ScanLine(y)[3 * x + c];
}

// Calls f(x, y, c) for every byte of b.
template <class F>
void ForBytes(const TBitmap& b, F f) {
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < 3 * b.Width(); ++x) f(x / 3, y, x % 3);
  }
}

// The turn about the centre, pixel by pixel as the formula states it.
inline void Rotate(TBitmap& bitmap, double angle, double threshold) {
  const int W = bitmap.Width(), H = bitmap.Height();
  TBitmap n(W, H);
  const long double theta = angle * static_cast<long double>(3.141592653589793) * (1.0 / 180);
  const long double c = std::cos(theta), s = std::sin(theta);
  const double cx = W * 0.5, cy = H * 0.5;
  RowTable rows = BuildRowTable(bitmap);
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const long double lx = x, ly = y;
      const double sx = static_cast<double>((lx - cx) * c + cx - (cy - ly) * s);
      const double sy = static_cast<double>(cy - (lx - cx) * s - (cy - ly) * c);
      BilinearSample(W, H, rows, sx, sy, Byte(n, x, y, 2), Byte(n, x, y, 1), Byte(n, x, y, 0),
                     threshold);
    }
  }
  bitmap = n;
}

// Random bytes drawn from `levels` >= 2 values spread over 0..255 (few levels give many ties).
inline TBitmap RandomBitmap(std::mt19937& random, int w, int h, int levels = 256) {
  TBitmap b(w, h);
  std::uniform_int_distribution<int> level(0, levels - 1);
  ForBytes(b, [&](int x, int y, int c) {
    Byte(b, x, y, c) = static_cast<std::uint8_t>(level(random) * 255 / (levels - 1));
  });
  return b;
}

// A bitmap of one colour.
inline TBitmap Flat(int w, int h, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  TBitmap b(w, h);
  ForBytes(b, [&](int x, int y, int c) {
    Byte(b, x, y, c) = c == 0 ? blue : c == 1 ? green : red;
  });
  return b;
}

inline void SetGrey(TBitmap& b, int x, int y, std::uint8_t v) {
  for (int c = 0; c < 3; ++c) Byte(b, x, y, c) = v;
}

// True when byte c is the same in every pixel of a and b.
inline bool SameChannel(const TBitmap& a, const TBitmap& b, int c) {
  bool same = true;
  ForBytes(a, [&](int x, int y, int k) { same &= k != c || Byte(a, x, y, c) == Byte(b, x, y, c); });
  return same;
}

// A document of every filter, as scripts and the menus run them.
struct TFilterDocument {
  TFilterDocument() { RegisterFilters(doc); }
  // Shows the picture with all of it selected.
  TFilterDocument& Show(const TBitmap& picture) {
    doc.CurrentImage = picture;
    doc.ShowBitmap(doc.CurrentImage);
    doc.SelectAll();
    return *this;
  }
  // Runs a call with the random numbers seeded alike; a bare name runs the filter as it stands
  // on all three channels.
  bool Run(const std::string& call) {
    SeedRandom(11);
    if (call.find('(') != std::string::npos) return doc.RunFilterCall(call);
    doc.ApplyFilter(doc.FindFilter(call), true, true, true);
    return true;
  }
  const TBitmap& Image() const { return doc.CurrentImage; }

  testing::TFakeUi ui;
  TDocument doc{ui};
};

}  // namespace imvora::reference
