#include "filters/GrayScale.h"

#include <algorithm>
#include <cmath>

namespace imvora {
namespace {

// weight · 2^56 · byte as an exact integer: weight · byte is exact in extended precision and
// a multiple of 2^-56 for the three weights, all of which are at least 2^-4.
std::array<std::uint64_t, 256> ScaledProducts(double weight) {
  std::array<std::uint64_t, 256> table{};
  for (int v = 0; v < 256; ++v) {
    table[v] = static_cast<std::uint64_t>(std::ldexp(static_cast<long double>(v) * weight, 56));
  }
  return table;
}

template <class Grey>
void WriteGrey(TBitmap& bitmap, const bool flagged[3], Grey grey) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      const std::uint8_t g = grey(p[0], p[1], p[2]);
      if (flagged[2]) p[2] = g;
      if (flagged[1]) p[1] = g;
      if (flagged[0]) p[0] = g;
    }
  }
}

}  // namespace

TLuminanceTable::TLuminanceTable()
    : blue_(ScaledProducts(0.114)), green_(ScaledProducts(0.587)), red_(ScaledProducts(0.299)) {}

TGrayScaleFilter::TGrayScaleFilter() {
  Name = "GrayScale";
  AddParam(
      TParam::Choice("Метод фильтрации:", Method, {"по яркости", "по минимуму", "по максимуму"}));
}

void TGrayScaleFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3)) return;
  const bool flagged[3] = {flag3, flag2, flag1};
  using Byte = std::uint8_t;
  switch (Method) {
    case 0: {
      static const TLuminanceTable table;
      WriteGrey(*bitmap, flagged,
                [](Byte b, Byte g, Byte r) { return static_cast<Byte>(table.Level(b, g, r)); });
      break;
    }
    case 1:
      WriteGrey(*bitmap, flagged, [](Byte b, Byte g, Byte r) { return std::min({r, g, b}); });
      break;
    case 2:
      WriteGrey(*bitmap, flagged, [](Byte b, Byte g, Byte r) { return std::max({r, g, b}); });
      break;
    default:
      break;
  }
}

}  // namespace imvora
