#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace imvora {

// One traced contour line with its Chebyshev description.
struct TCRContourObject {
  std::vector<std::int32_t> PathX;  // relative to Left
  std::vector<std::int32_t> PathY;  // relative to Top
  std::int32_t Left = 0, Right = 0, Top = 0, Bottom = 0;
  std::vector<double> CoefX, CoefY;
  std::int32_t CoefCount = 0;
};

// One glyph: its contour lines and their bounding box.
struct TCRContourImage {
  std::vector<std::unique_ptr<TCRContourObject>> Objects;
  std::int32_t Left = 0, Right = 0, Top = 0, Bottom = 0;
  std::int32_t ClassIndex = -1;
};

// Glyphs sorted from left to right.
using TContourSet = std::vector<std::unique_ptr<TCRContourImage>>;

}  // namespace imvora
