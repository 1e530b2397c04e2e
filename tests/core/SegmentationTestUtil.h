#pragma once

#include <cstdint>
#include <initializer_list>
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

// A row of grey pixels of the given levels.
inline TBitmap GreyRow(std::initializer_list<int> levels) {
  TBitmap bitmap(static_cast<int>(levels.size()), 1);
  int x = 0;
  for (int v : levels) SetPixel(bitmap, x++, 0, v, v, v);
  return bitmap;
}

}  // namespace imvora::testing
