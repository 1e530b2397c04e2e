#include "filters/GSharpen.h"

#include <algorithm>

#include "core/ChannelRows.h"

namespace imvora {
namespace {

// The filter as it is defined: a blurred copy of the whole picture, then 2 · in − blur.
void SharpenPlain(TBitmap& bitmap, std::int32_t radius, double sigma, const bool flagged[3]) {
  TBitmap blurred = bitmap;
  GaussBlur(&bitmap, &blurred, radius, sigma, flagged[2], flagged[1], flagged[0],
            TLaneWidth::Plain);
  for (int c = 0; c < 3; ++c) {
    if (!flagged[c]) continue;
    for (int y = 0; y < bitmap.Height(); ++y) {
      std::uint8_t* p = bitmap.ScanLine(y) + c;
      const std::uint8_t* b = blurred.ScanLine(y) + c;
      for (int i = 0; i < 3 * bitmap.Width(); i += 3) {
        p[i] = static_cast<std::uint8_t>(std::clamp(2 * p[i] - b[i], 0, 255));
      }
    }
  }
}

}  // namespace

void TGSharpenFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || bitmap->Empty()) return;
  const bool flagged[3] = {flag3, flag2, flag1};
  const TLaneWidth lanes = LaneWidth();
  if (lanes == TLaneWidth::Plain) {
    SharpenPlain(*bitmap, Radius, Sigma, flagged);
    return;
  }
  // Without a blur, 2 · in − in changes nothing.
  if (Kernel().empty()) return;
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{bitmap->Width()};
  const int noOffsets[3] = {0, 0, 0};
  BlurRows(*bitmap, [&](int y, const std::uint8_t* blurred) {
    DifferenceRow(bitmap->ScanLine(y), blurred, rowBytes, 2, noOffsets, flagged, lanes);
  });
}

}  // namespace imvora
