#include "recognition/MarkupAverage.h"

namespace imvora {

void TMarkupMeanFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3)) return;
  const std::unique_ptr<TMarkupData> markup =
      LabelRegions(bitmap, PackedTolerance(flag1, flag2, flag3));
  if (!markup) return;
  const std::int32_t* label = markup->Labels.data();
  for (int y = 0; y < bitmap->Height(); ++y) {
    ReportProgress(y, bitmap->Height());
    std::uint8_t* p = bitmap->ScanLine(y);
    for (int x = 0; x < bitmap->Width(); ++x, p += 3, ++label) {
      p[0] = static_cast<std::uint8_t>(markup->MeanB[*label]);
      p[1] = static_cast<std::uint8_t>(markup->MeanG[*label]);
      p[2] = static_cast<std::uint8_t>(markup->MeanR[*label]);
    }
  }
}

}  // namespace imvora
