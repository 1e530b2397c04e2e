#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace imvora {

// The statistics of one region.
struct TRegionStatistics {
  std::uint32_t MeanR = 0, MeanG = 0, MeanB = 0, Area = 0;
  std::int32_t MinX = 0, MinY = 0, MaxX = 0, MaxY = 0, CenterX = 0, CenterY = 0;
};
bool operator==(const TRegionStatistics& a, const TRegionStatistics& b);

// Label map of connected regions with per-region statistics. Labels run 0 .. RegionCount-1,
// pixel (x, y) at index y*Width + x. The statistics are read per label (MeanR[l], Area[l], ...)
// and kept packed: a region of fewer than 256 pixels takes 13 bytes, told relative to its seed
// (its first pixel in raster order), so that even a picture of one-pixel regions needs at
// most 17 bytes per pixel with the labels. Copies are deep.
class TMarkupData {
 public:
  TMarkupData(std::int32_t width, std::int32_t height);
  TMarkupData(const TMarkupData& other);
  TMarkupData& operator=(const TMarkupData& other);

  // One statistic of every region, read by label.
  template <class T, T TRegionStatistics::*Field>
  class TColumn {
   public:
    explicit TColumn(const TMarkupData* owner) : owner_(owner) {}
    TColumn(const TColumn&) = delete;
    TColumn& operator=(const TColumn&) = delete;
    T operator[](std::int32_t label) const { return owner_->Region(label).*Field; }

   private:
    const TMarkupData* owner_;
  };
  // The mean of one colour (0 red, 1 green, 2 blue), read straight from its byte: it is read
  // per pixel when a picture is painted by regions.
  template <int Colour>
  class TMeanColumn {
   public:
    explicit TMeanColumn(const TMarkupData* owner) : owner_(owner) {}
    TMeanColumn(const TMeanColumn&) = delete;
    TMeanColumn& operator=(const TMeanColumn&) = delete;
    std::uint32_t operator[](std::int32_t label) const {
      return owner_->Packed(label).Mean[Colour];
    }

   private:
    const TMarkupData* owner_;
  };

  // The statistics of one region.
  TRegionStatistics Region(std::int32_t label) const;
  // Room for `count` regions, whose statistics SetRegion then fills in any order.
  void ResizeRegions(std::int32_t count);
  // The statistics of region `label`, whose first pixel in raster order is (seedX, MinY).
  void SetRegion(std::int32_t label, std::int32_t seedX, const TRegionStatistics& region);
  // Appends the next region (label RegionCount).
  void AddRegion(std::int32_t seedX, const TRegionStatistics& region);
  // Memory the label map and the statistics take.
  std::size_t MemoryBytes() const;

  std::vector<std::int32_t> Labels;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t RegionCount = 0;

  TMeanColumn<0> MeanR{this};
  TMeanColumn<1> MeanG{this};
  TMeanColumn<2> MeanB{this};
  TColumn<std::uint32_t, &TRegionStatistics::Area> Area{this};
  TColumn<std::int32_t, &TRegionStatistics::MinX> MinX{this};
  TColumn<std::int32_t, &TRegionStatistics::MinY> MinY{this};
  TColumn<std::int32_t, &TRegionStatistics::MaxX> MaxX{this};
  TColumn<std::int32_t, &TRegionStatistics::MaxY> MaxY{this};
  TColumn<std::int32_t, &TRegionStatistics::CenterX> CenterX{this};
  TColumn<std::int32_t, &TRegionStatistics::CenterY> CenterY{this};

 private:
  // 13 bytes: the seed's raster index; the mean red, green, blue; the area, 0 when the region
  // is too large for the rest and its statistics are in `large_` at the index in Detail;
  // seedX − MinX, MaxX − seedX, MaxY − MinY, CenterX − MinX, CenterY − MinY.
  struct TPacked {
    std::uint8_t Seed[4];
    std::uint8_t Mean[3];
    std::uint8_t Area;
    std::uint8_t Detail[5];
  };
  static constexpr int kBlockBits = 12;
  using TBlock = std::array<TPacked, std::size_t{1} << kBlockBits>;

  TPacked& Packed(std::int32_t label);
  const TPacked& Packed(std::int32_t label) const;

  std::vector<std::unique_ptr<TBlock>> blocks_;
  std::vector<TRegionStatistics> large_;
};

// Same size, labels and statistics.
bool operator==(const TMarkupData& a, const TMarkupData& b);

}  // namespace imvora
