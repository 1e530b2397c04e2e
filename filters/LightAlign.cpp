#include "filters/LightAlign.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <optional>

#include "core/ChannelRows.h"
#include "core/RowBands.h"

namespace imvora {
namespace {

// Mean of byte c over all pixels, in extended precision. The sums of bytes are whole numbers
// below 2^53, so adding them as integers, in any order, gives exactly the double sums.
std::array<long double, 3> ByteMeans(const TBitmap& bitmap) {
  std::uint64_t sums[3] = {0, 0, 0};
  std::mutex mutex;
  const TLaneWidth lanes = LaneWidth();
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{bitmap.Width()};
  ForEachRowBand(bitmap.Height(), nullptr, [&](int first, int last) {
    std::uint64_t band[3] = {0, 0, 0};
    for (int y = first; y < last; ++y) AddChannelSums(bitmap.ScanLine(y), rowBytes, band, lanes);
    const std::lock_guard<std::mutex> lock(mutex);
    for (int c = 0; c < 3; ++c) sums[c] += band[c];
  });
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

// The offset m when table[d + 255] = d + m limited to 0 ... 255 for every d, which is the
// case unless the mean's fraction lies so close to 1 that d + mean rounds up for some d.
std::optional<int> LinearOffset(const TLevelTable& table) {
  const int m = table[255];
  for (int d = -255; d <= 255; ++d) {
    if (table[d + 255] != std::clamp(d + m, 0, 255)) return std::nullopt;
  }
  return m;
}

}  // namespace

void TLightAlignFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || bitmap->Empty()) return;
  const bool flagged[3] = {flag3, flag2, flag1};
  const std::array<long double, 3> means = ByteMeans(*bitmap);
  const std::array<TLevelTable, 3> tables = {LevelTable(means[0]), LevelTable(means[1]),
                                             LevelTable(means[2])};
  const int width = bitmap->Width();
  const TLaneWidth lanes = LaneWidth();
  if (lanes == TLaneWidth::Plain) {
    // As it is defined: a blurred copy of the whole picture first.
    TBitmap blurred = *bitmap;
    GaussBlur(bitmap, &blurred, Radius, Sigma, flag1, flag2, flag3, TLaneWidth::Plain);
    for (int y = 0; y < bitmap->Height(); ++y) {
      LevelRow(bitmap->ScanLine(y), blurred.ScanLine(y), width, flagged, tables);
    }
    return;
  }
  // The tables are as a rule in - blur + an offset, limited: a vector difference.
  const std::optional<int> offsets[3] = {LinearOffset(tables[0]), LinearOffset(tables[1]),
                                         LinearOffset(tables[2])};
  if (offsets[0] && offsets[1] && offsets[2]) {
    const int linear[3] = {*offsets[0], *offsets[1], *offsets[2]};
    BlurRows(*bitmap, [&](int y, const std::uint8_t* blurred) {
      DifferenceRow(bitmap->ScanLine(y), blurred, 3 * std::ptrdiff_t{width}, 1, linear, flagged,
                    lanes);
    });
    return;
  }
  BlurRows(*bitmap, [&](int y, const std::uint8_t* blurred) {
    LevelRow(bitmap->ScanLine(y), blurred, width, flagged, tables);
  });
}

}  // namespace imvora
