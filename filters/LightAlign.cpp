#include "filters/LightAlign.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace imvora {
namespace {

// Mean of byte c over all pixels, in extended precision. The sums of bytes are whole numbers
// below 2^53, so adding them as integers gives exactly the double sums.
std::array<long double, 3> ByteMeans(const TBitmap& bitmap) {
  std::array<std::uint64_t, 3> sums{};
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      sums[0] += p[0];
      sums[1] += p[1];
      sums[2] += p[2];
    }
  }
  const long double count =
      static_cast<long double>(std::int64_t{bitmap.Width()} * bitmap.Height());
  return {sums[0] / count, sums[1] / count, sums[2] / count};
}

// The output for every difference d = input - blur, -255 ... 255, at index d + 255:
// trunc(d + mean) in extended precision, limited to 0 ... 255.
using TLevelTable = std::array<std::uint8_t, 511>;
TLevelTable LevelTable(long double mean) {
  TLevelTable table{};
  for (int d = -255; d <= 255; ++d) {
    const long double v = std::trunc(d + mean);
    table[d + 255] = static_cast<std::uint8_t>(std::clamp<long double>(v, 0, 255));
  }
  return table;
}

// Levels the flagged bytes of one row against its blur.
void LevelRow(std::uint8_t* row, const std::uint8_t* blurred, int width, const bool flagged[3],
              const std::array<TLevelTable, 3>& tables) {
  for (int c = 0; c < 3; ++c) {
    if (!flagged[c]) continue;
    const TLevelTable& table = tables[c];
    for (int x = 0; x < width; ++x) {
      row[3 * x + c] = table[row[3 * x + c] - blurred[3 * x + c] + 255];
    }
  }
}

}  // namespace

void TLightAlignFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || bitmap->Empty()) return;
  const bool flagged[3] = {flag3, flag2, flag1};
  const std::array<long double, 3> means = ByteMeans(*bitmap);
  const std::array<TLevelTable, 3> tables = {LevelTable(means[0]), LevelTable(means[1]),
                                             LevelTable(means[2])};
  const int width = bitmap->Width();
  if (LaneWidth() == TLaneWidth::Plain) {
    // As it is defined: a blurred copy of the whole picture first.
    TBitmap blurred = *bitmap;
    GaussBlur(bitmap, &blurred, Radius, Sigma, flag1, flag2, flag3, TLaneWidth::Plain);
    for (int y = 0; y < bitmap->Height(); ++y) {
      LevelRow(bitmap->ScanLine(y), blurred.ScanLine(y), width, flagged, tables);
    }
    return;
  }
  BlurRows(*bitmap, [&](int y, const std::uint8_t* blurred) {
    LevelRow(bitmap->ScanLine(y), blurred, width, flagged, tables);
  });
}

}  // namespace imvora
