#pragma once

#include <cstdint>
#include <vector>

namespace imvora {

// Label map of connected regions with per-region statistics. Labels run 0 .. RegionCount-1,
// pixel (x, y) at index y*Width + x. The per-region arrays are empty until a labelling fills
// them. Copies are deep.
class TMarkupData {
 public:
  TMarkupData(std::int32_t width, std::int32_t height);

  std::vector<std::int32_t> Labels;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t RegionCount = 0;
  std::vector<std::uint32_t> MeanR, MeanG, MeanB, Area;
  std::vector<std::int32_t> MinX, MinY, MaxX, MaxY, CenterX, CenterY;
};

}  // namespace imvora
