#pragma once

#include <cstdint>
#include <memory>

#include "core/FilterParams.h"
#include "core/MarkupData.h"

namespace imvora {

// How LabelRegions works: Fill grows every region from its seed as the labelling is defined;
// Runs joins runs of pixels row by row where the tolerance splits the colours into classes
// (two-colour pictures, tolerance 0) and fills elsewhere. Both give the same label maps.
enum class TLabelling { Fill, Runs };

// Labels the 4-connected regions of similar colour of a 24-bit bitmap. A region grows from its
// seed, the first unlabelled pixel in raster order, over every 4-connected unlabelled pixel
// whose bytes each lie within the packed tolerance (blue | green << 8 | red << 16) of the
// seed's bytes; regions are numbered in raster order of their seeds. Per region: truncated
// mean colour, area, bounding box and truncated centre. None for a missing, empty or
// non-24-bit bitmap. Progress goes to the host every few rows; a report that throws stops it.
std::unique_ptr<TMarkupData> LabelRegions(const TBitmap* bitmap, std::uint32_t tolerance,
                                          IFilterHost* host = nullptr,
                                          TLabelling labelling = TLabelling::Runs);

// The three colour tolerances "Мягкость R/G/B" (0 ... 255, default 16) shared by the filters
// that label regions.
class TRegionToleranceFilter : public TParamFilter {
 public:
  std::int32_t SoftR = 16;
  std::int32_t SoftG = 16;
  std::int32_t SoftB = 16;

 protected:
  TRegionToleranceFilter();
  // The packed tolerance; an unflagged channel gets 255 and never separates two pixels.
  std::uint32_t PackedTolerance(bool flag1, bool flag2, bool flag3) const;
};

// "Markup": hands the label map of the image to the document; the pixels stay unchanged.
class TMarkupFilter : public TRegionToleranceFilter {
 public:
  TMarkupFilter() { Name = "Markup"; }
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabelling Labelling = TLabelling::Runs;
};

}  // namespace imvora
