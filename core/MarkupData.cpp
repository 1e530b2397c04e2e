#include "core/MarkupData.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace imvora {
namespace {

// Asks for a fresh large block to be backed by huge pages where the system grants them on
// request: every fresh page costs a fault, which on a virtual machine is dear, and a label map
// of 4096 x 4096 pixels has 16384 pages of 4 KiB but only 32 of 2 MiB.
void AdviseHugePages(void* data, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kPage = 4096, kHugePage = 2 << 20;
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(kPage - 1);
  if (end > begin + kHugePage) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
}

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

TMarkupData::TMarkupData(std::int32_t width, std::int32_t height) : Width(width), Height(height) {
  const std::size_t pixels = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
  Labels.reserve(pixels);
  AdviseHugePages(Labels.data(), pixels * sizeof(std::int32_t));
  Labels.resize(pixels, 0);
}

TMarkupData::TMarkupData(const TMarkupData& other)
    : Labels(other.Labels),
      Width(other.Width),
      Height(other.Height),
      RegionCount(other.RegionCount),
      large_(other.large_) {
  for (const auto& block : other.blocks_) {
    blocks_.push_back(block ? std::make_unique<TBlock>(*block) : nullptr);
  }
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
  // Blocks come as their regions are set: a labelling that sets them in about label order
  // never holds more than it has filled.
  blocks_.resize(blocks);
  RegionCount = count;
}

void TMarkupData::AddRegion(std::int32_t seedX, const TRegionStatistics& region) {
  const std::int32_t label = RegionCount;
  if ((label >> kBlockBits) >= static_cast<std::int32_t>(blocks_.size())) blocks_.emplace_back();
  RegionCount = label + 1;
  SetRegion(label, seedX, region);
}

void TMarkupData::SetRegion(std::int32_t label, std::int32_t seedX,
                            const TRegionStatistics& region) {
  std::unique_ptr<TBlock>& block = blocks_[label >> kBlockBits];
  if (!block) block.reset(new TBlock);
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

std::size_t TMarkupData::MemoryBytes() const {
  return Labels.size() * sizeof(std::int32_t) + blocks_.size() * sizeof(TBlock) +
         large_.size() * sizeof(TRegionStatistics);
}

}  // namespace imvora
