#pragma once

#include "recognition/Markup.h"

namespace imvora {

// "MarkupAverage": labels the image into regions as "Markup" does and paints every pixel, all
// three bytes whatever the flags, with the truncated mean colour of its region. The flags only
// decide which channels separate regions. The label map stays private to the filter.
class TMarkupMeanFilter : public TRegionToleranceFilter {
 public:
  TMarkupMeanFilter() { Name = "MarkupAverage"; }
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;
};

}  // namespace imvora
