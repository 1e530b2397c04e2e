#include "recognition/ContourExtraction.h"

#include <algorithm>
#include <vector>

#include "core/Error.h"
#include "recognition/Approx.h"

namespace imvora {
namespace {

// Per contour region: the glyph label at its first pixel and the index of its start pixel.
struct TRegionSeeds {
  std::vector<std::int32_t> Parent;
  std::vector<std::int64_t> Start;
};

bool IsDark(const TMarkupData& map, std::int32_t label) {
  return std::uint64_t{map.MeanR[label]} + map.MeanG[label] + map.MeanB[label] <= 384;
}

// Squared distance from the region's truncated centre, in 64 bits so that no picture size
// can overflow it.
std::int64_t CentreDistance(const TMarkupData& map, std::int32_t label, std::int64_t x,
                            std::int64_t y) {
  const std::int64_t dx = x - map.CenterX[label];
  const std::int64_t dy = y - map.CenterY[label];
  return dx * dx + dy * dy;
}

TRegionSeeds ScanSinglePass(const TMarkupData& glyphs, const TMarkupData& contours) {
  const std::size_t regions = static_cast<std::size_t>(contours.RegionCount);
  TRegionSeeds seeds{std::vector<std::int32_t>(regions, -1),
                     std::vector<std::int64_t>(regions, -1)};
  std::vector<std::int64_t> farthest(regions, -1);
  std::size_t index = 0;
  for (std::int32_t y = 0; y < contours.Height; ++y) {
    for (std::int32_t x = 0; x < contours.Width; ++x, ++index) {
      const std::int32_t j = contours.Labels[index];
      if (seeds.Parent[j] < 0) seeds.Parent[j] = glyphs.Labels[index];
      const std::int64_t distance = CentreDistance(contours, j, x, y);
      if (distance > farthest[j]) {
        farthest[j] = distance;
        seeds.Start[j] = static_cast<std::int64_t>(index);
      }
    }
  }
  return seeds;
}

TRegionSeeds ScanPerRegion(const TMarkupData& glyphs, const TMarkupData& contours) {
  TRegionSeeds seeds;
  const std::size_t pixels = contours.Labels.size();
  for (std::int32_t j = 0; j < contours.RegionCount; ++j) {
    std::size_t first = 0;
    while (contours.Labels[first] != j) ++first;
    seeds.Parent.push_back(glyphs.Labels[first]);
    std::int64_t farthest = -1, start = -1;
    for (std::size_t index = 0; index < pixels; ++index) {
      if (contours.Labels[index] != j) continue;
      const std::int64_t distance =
          CentreDistance(contours, j, static_cast<std::int64_t>(index % contours.Width),
                         static_cast<std::int64_t>(index / contours.Width));
      if (distance > farthest) farthest = distance, start = static_cast<std::int64_t>(index);
    }
    seeds.Start.push_back(start);
  }
  return seeds;
}

// Walks from the start pixel to the first unvisited 4-neighbour of the region (up, down,
// left, right) until there is none; every visited pixel is marked, so the walk ends.
void TraceRegion(TMarkupData& map, std::int32_t j, std::int64_t start, TCRContourObject& object) {
  const std::int32_t w = map.Width, h = map.Height;
  std::int32_t x = static_cast<std::int32_t>(start % w);
  std::int32_t y = static_cast<std::int32_t>(start / w);
  const auto label = [&](std::int32_t px, std::int32_t py) -> std::int32_t& {
    return map.Labels[static_cast<std::size_t>(py) * w + px];
  };
  for (;;) {
    object.PathX.push_back(x - map.MinX[j]);
    object.PathY.push_back(y - map.MinY[j]);
    label(x, y) = -j - 1;
    if (y > 0 && label(x, y - 1) == j) {
      --y;
    } else if (y < h - 1 && label(x, y + 1) == j) {
      ++y;
    } else if (x > 0 && label(x - 1, y) == j) {
      --x;
    } else if (x < w - 1 && label(x + 1, y) == j) {
      ++x;
    } else {
      break;
    }
  }
}

std::unique_ptr<TCRContourObject> ContourObject(TMarkupData& map, std::int32_t j,
                                                std::int64_t start, std::int32_t coefCount) {
  auto object = std::make_unique<TCRContourObject>();
  TraceRegion(map, j, start, *object);
  object->CoefCount = coefCount;
  object->CoefX = ChebyshevCoefficients(object->PathX, coefCount);
  object->CoefY = ChebyshevCoefficients(object->PathY, coefCount);
  object->Left = map.MinX[j];
  object->Right = map.MaxX[j];
  object->Top = map.MinY[j];
  object->Bottom = map.MaxY[j];
  return object;
}

void UniteBoxes(TCRContourImage& image) {
  if (image.Objects.empty()) return;
  const TCRContourObject& first = *image.Objects.front();
  image.Left = first.Left, image.Right = first.Right;
  image.Top = first.Top, image.Bottom = first.Bottom;
  for (const auto& object : image.Objects) {
    image.Right = std::max(image.Right, object->Right);
    image.Bottom = std::max(image.Bottom, object->Bottom);
    image.Left = std::min(image.Left, object->Left);
    image.Top = std::min(image.Top, object->Top);
  }
}

// The contour regions of every glyph, each list in label order (a counting sort).
struct TChildren {
  std::vector<std::int32_t> Begin;  // per glyph, then one past the last
  std::vector<std::int32_t> Regions;
};

TChildren ChildrenOf(const std::vector<std::int32_t>& parent, std::int32_t glyphCount) {
  TChildren children{std::vector<std::int32_t>(glyphCount + 1, 0),
                     std::vector<std::int32_t>(parent.size())};
  for (std::int32_t p : parent) ++children.Begin[p + 1];
  for (std::int32_t i = 0; i < glyphCount; ++i) children.Begin[i + 1] += children.Begin[i];
  std::vector<std::int32_t> next(children.Begin.begin(), children.Begin.end() - 1);
  for (std::size_t j = 0; j < parent.size(); ++j) {
    children.Regions[next[parent[j]]++] = static_cast<std::int32_t>(j);
  }
  return children;
}

}  // namespace

std::unique_ptr<TContourSet> ExtractContours(const TMarkupData& glyphs, TMarkupData& contours,
                                             std::int32_t coefCount, TRegionScan scan) {
  if (glyphs.Width != contours.Width || glyphs.Height != contours.Height) {
    throw EImvoraError("Карты разметки глифов и контуров различаются по размеру");
  }
  const TRegionSeeds seeds = scan == TRegionScan::SinglePass ? ScanSinglePass(glyphs, contours)
                                                             : ScanPerRegion(glyphs, contours);
  const TChildren children = ChildrenOf(seeds.Parent, glyphs.RegionCount);
  auto set = std::make_unique<TContourSet>();
  for (std::int32_t i = 0; i < glyphs.RegionCount; ++i) {
    if (!IsDark(glyphs, i)) continue;
    auto image = std::make_unique<TCRContourImage>();
    for (std::int32_t k = children.Begin[i]; k < children.Begin[i + 1]; ++k) {
      const std::int32_t j = children.Regions[k];
      if (!IsDark(contours, j)) continue;
      image->Objects.push_back(ContourObject(contours, j, seeds.Start[j], coefCount));
    }
    UniteBoxes(*image);
    set->push_back(std::move(image));
  }
  return set;
}

void SortByLeft(TContourSet& set) {
  std::stable_sort(set.begin(), set.end(),
                   [](const auto& a, const auto& b) { return a->Left < b->Left; });
}

}  // namespace imvora
