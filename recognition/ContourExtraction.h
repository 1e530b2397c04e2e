#pragma once

#include <cstdint>
#include <memory>

#include "core/ContourData.h"
#include "core/MarkupData.h"

namespace imvora {

// How the first pixel (which gives a contour region its glyph) and the start pixel of the
// tracing are found for every contour region: one pass over the whole map for all regions, or
// the plain scan of the whole map per region, whose cost grows with the number of regions
// times the image size. Both give the same pixels.
enum class TRegionScan { SinglePass, PerRegion };

// The contour set of two label maps of one picture: `glyphs` labels the binarized glyphs,
// `contours` their one-pixel-wide inner borders. Every dark glyph region gives one image, in
// label order; every dark contour region whose first pixel (in raster order) lies in that glyph
// gives one of its objects, traced into a path and described by `coefCount` Chebyshev
// coefficients per coordinate. Tracing marks the visited pixels of `contours` with −label − 1.
// The set comes out in glyph label order; SortByLeft orders it.
std::unique_ptr<TContourSet> ExtractContours(const TMarkupData& glyphs, TMarkupData& contours,
                                             std::int32_t coefCount,
                                             TRegionScan scan = TRegionScan::SinglePass);

// Stable order by Left: glyphs with the same leftmost column keep their order.
void SortByLeft(TContourSet& set);

}  // namespace imvora
