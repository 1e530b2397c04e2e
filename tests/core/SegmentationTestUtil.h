#pragma once

#include <cstdint>
#include <random>
#include <set>
#include <tuple>

#include "core/Raster.h"

namespace imvora::testing {

using TColour = std::tuple<int, int, int>;  // red, green, blue

inline void SetPixel(TBitmap& bitmap, int x, int y, int red, int green, int blue) {
  std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
  p[0] = static_cast<std::uint8_t>(blue);
  p[1] = static_cast<std::uint8_t>(green);
  p[2] = static_cast<std::uint8_t>(red);
}

inline TColour PixelAt(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

inline TBitmap Filled(int w, int h, int red, int green, int blue) {
  TBitmap bitmap(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) SetPixel(bitmap, x, y, red, green, blue);
  }
  return bitmap;
}

// A row of grey pixels of the given levels.
inline TBitmap GreyRow(std::initializer_list<int> levels) {
  TBitmap bitmap(static_cast<int>(levels.size()), 1);
  int x = 0;
  for (int v : levels) SetPixel(bitmap, x++, 0, v, v, v);
  return bitmap;
}

// Random pixels whose bytes are drawn from `levels` values spread over 0..255.
inline TBitmap RandomBitmap(int w, int h, std::mt19937& random, int levels = 256) {
  TBitmap bitmap(w, h);
  std::uniform_int_distribution<int> pick(0, levels - 1);
  for (int y = 0; y < h; ++y) {
    for (int i = 0; i < 3 * w; ++i) {
      bitmap.ScanLine(y)[i] = static_cast<std::uint8_t>(pick(random) * 255 / (levels - 1));
    }
  }
  return bitmap;
}

inline std::set<TColour> Colours(const TBitmap& bitmap) {
  std::set<TColour> colours;
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) colours.insert(PixelAt(bitmap, x, y));
  }
  return colours;
}

}  // namespace imvora::testing
