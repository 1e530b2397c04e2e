#pragma once

#include <memory>
#include <vector>

#include "core/ContourData.h"

namespace imvora::testing {

// A glyph of one object per coefficient vector, the same for x and y.
inline std::unique_ptr<TCRContourImage> Glyph(const std::vector<std::vector<double>>& objects) {
  auto image = std::make_unique<TCRContourImage>();
  for (const auto& c : objects) {
    image->Objects.push_back(std::make_unique<TCRContourObject>());
    image->Objects.back()->CoefCount = static_cast<std::int32_t>(c.size());
    image->Objects.back()->CoefX = image->Objects.back()->CoefY = c;
  }
  return image;
}

}  // namespace imvora::testing
