#include "filters/ChannelPlane.h"

namespace imvora {

void ExtractChannel(const TBitmap& bitmap, int byte, std::vector<std::uint8_t>& plane) {
  const int w = bitmap.Width();
  plane.resize(static_cast<std::size_t>(w) * bitmap.Height());
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y) + byte;
    std::uint8_t* out = plane.data() + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) out[x] = row[3 * x];
  }
}

void StoreChannel(const std::vector<std::uint8_t>& plane, TBitmap& bitmap, int byte) {
  const int w = bitmap.Width();
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* row = bitmap.ScanLine(y) + byte;
    const std::uint8_t* in = plane.data() + static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x) row[3 * x] = in[x];
  }
}

std::vector<int> FlaggedBytes(bool flag1, bool flag2, bool flag3) {
  std::vector<int> bytes;
  if (flag1) bytes.push_back(2);
  if (flag2) bytes.push_back(1);
  if (flag3) bytes.push_back(0);
  return bytes;
}

}  // namespace imvora
