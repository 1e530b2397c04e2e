#include "filters/GSharpen.h"

#include <algorithm>

namespace imvora {

void TGSharpenFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3)) return;
  TBitmap blurred = *bitmap;
  Blur(bitmap, &blurred, flag1, flag2, flag3);
  const bool flagged[3] = {flag3, flag2, flag1};
  for (int c = 0; c < 3; ++c) {
    if (!flagged[c]) continue;
    for (int y = 0; y < bitmap->Height(); ++y) {
      std::uint8_t* p = bitmap->ScanLine(y) + c;
      const std::uint8_t* b = blurred.ScanLine(y) + c;
      for (int i = 0; i < 3 * bitmap->Width(); i += 3) {
        p[i] = static_cast<std::uint8_t>(std::clamp(2 * p[i] - b[i], 0, 255));
      }
    }
  }
}

}  // namespace imvora
