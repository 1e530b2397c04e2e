#include "core/MarkupData.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace imvora {
namespace {

auto Fields(const TRegionStatistics& s) {
  return std::tie(s.MeanR, s.MeanG, s.MeanB, s.Area, s.MinX, s.MinY, s.MaxX, s.MaxY, s.CenterX,
                  s.CenterY);
}

void PutWord(std::uint8_t* bytes, std::uint32_t value) {
  std::memcpy(bytes, &value, sizeof value);
}
std::uint32_t Word(const std::uint8_t* bytes) {
  std::uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

}  // namespace

bool operator==(const TRegionStatistics& a, const TRegionStatistics& b) {
  return Fields(a) == Fields(b);
}

TMarkupData::TMarkupData(std::int32_t width, std::int32_t height)
    : Labels(static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0), 0),
      Width(width),
      Height(height) {}

TMarkupData::TMarkupData(const TMarkupData& other)
    : Labels(other.Labels),
      Width(other.Width),
      Height(other.Height),
      RegionCount(other.RegionCount),
      large_(other.large_) {
  for (const auto& block : other.blocks_) blocks_.push_back(std::make_unique<TBlock>(*block));
}

TMarkupData& TMarkupData::operator=(const TMarkupData& other) {
  if (this == &other) return *this;
  TMarkupData copy(other);
  Labels = std::move(copy.Labels);
  Width = copy.Width;
  Height = copy.Height;
  RegionCount = copy.RegionCount;
  blocks_ = std::move(copy.blocks_);
  large_ = std::move(copy.large_);
  return *this;
}

TMarkupData::TPacked& TMarkupData::Packed(std::int32_t label) {
  return (*blocks_[label >> kBlockBits])[label & ((1 << kBlockBits) - 1)];
}
const TMarkupData::TPacked& TMarkupData::Packed(std::int32_t label) const {
  return (*blocks_[label >> kBlockBits])[label & ((1 << kBlockBits) - 1)];
}

void TMarkupData::ResizeRegions(std::int32_t count) {
  const std::size_t blocks =
      (static_cast<std::size_t>(count) + (1 << kBlockBits) - 1) >> kBlockBits;
  blocks_.resize(std::min(blocks_.size(), blocks));
  while (blocks_.size() < blocks) blocks_.push_back(std::unique_ptr<TBlock>(new TBlock));
  RegionCount = count;
}

void TMarkupData::AddRegion(std::int32_t seedX, const TRegionStatistics& region) {
  const std::int32_t label = RegionCount;
  if ((label >> kBlockBits) >= static_cast<std::int32_t>(blocks_.size())) {
    blocks_.push_back(std::unique_ptr<TBlock>(new TBlock));
  }
  RegionCount = label + 1;
  SetRegion(label, seedX, region);
}

void TMarkupData::SetRegion(std::int32_t label, std::int32_t seedX,
                            const TRegionStatistics& region) {
  TPacked& packed = Packed(label);
  PutWord(packed.Seed, static_cast<std::uint32_t>(region.MinY) * static_cast<std::uint32_t>(Width) +
                           static_cast<std::uint32_t>(seedX));
  packed.Mean[0] = static_cast<std::uint8_t>(region.MeanR);
  packed.Mean[1] = static_cast<std::uint8_t>(region.MeanG);
  packed.Mean[2] = static_cast<std::uint8_t>(region.MeanB);
  // A region of fewer than 256 pixels spans fewer than 256 columns and rows, so every distance
  // from its seed or its corner fits a byte.
  if (region.Area < 256) {
    packed.Area = static_cast<std::uint8_t>(region.Area);
    const std::int32_t detail[5] = {seedX - region.MinX, region.MaxX - seedX,
                                    region.MaxY - region.MinY, region.CenterX - region.MinX,
                                    region.CenterY - region.MinY};
    for (int i = 0; i < 5; ++i) packed.Detail[i] = static_cast<std::uint8_t>(detail[i]);
    return;
  }
  packed.Area = 0;
  PutWord(packed.Detail, static_cast<std::uint32_t>(large_.size()));
  large_.push_back(region);
}

TRegionStatistics TMarkupData::Region(std::int32_t label) const {
  const TPacked& packed = Packed(label);
  if (packed.Area == 0) return large_[Word(packed.Detail)];
  const std::uint32_t seed = Word(packed.Seed);
  const std::int32_t seedX = static_cast<std::int32_t>(seed % static_cast<std::uint32_t>(Width));
  TRegionStatistics region;
  region.MeanR = packed.Mean[0];
  region.MeanG = packed.Mean[1];
  region.MeanB = packed.Mean[2];
  region.Area = packed.Area;
  region.MinX = seedX - packed.Detail[0];
  region.MinY = static_cast<std::int32_t>(seed / static_cast<std::uint32_t>(Width));
  region.MaxX = seedX + packed.Detail[1];
  region.MaxY = region.MinY + packed.Detail[2];
  region.CenterX = region.MinX + packed.Detail[3];
  region.CenterY = region.MinY + packed.Detail[4];
  return region;
}

void TMarkupData::Park(std::int32_t label, std::uint32_t value) {
  PutWord(Packed(label).Seed, value);
}

std::uint32_t TMarkupData::Parked(std::int32_t label) const {
  return Word(Packed(label).Seed);
}

bool operator==(const TMarkupData& a, const TMarkupData& b) {
  if (std::tie(a.Width, a.Height, a.RegionCount, a.Labels) !=
      std::tie(b.Width, b.Height, b.RegionCount, b.Labels)) {
    return false;
  }
  for (std::int32_t label = 0; label < a.RegionCount; ++label) {
    if (!(a.Region(label) == b.Region(label))) return false;
  }
  return true;
}

}  // namespace imvora
