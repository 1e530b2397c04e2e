#include "filters/AutoColor.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/Error.h"
#include "core/Filtering.h"

namespace imvora {
namespace {

// Channel number of the user interface for byte c: byte 2 is channel 1 (red).
int ChannelNumber(int c) {
  return 3 - c;
}

// The output of every byte value of one channel.
std::array<std::uint8_t, 256> StretchTable(const TChannelStretch& stretch) {
  std::array<std::uint8_t, 256> table{};
  for (int b = 0; b < 256; ++b) {
    const long double v = std::trunc((b - stretch.Offset) * stretch.Factor);
    table[b] = static_cast<std::uint8_t>(std::clamp<long double>(v, 0, 255));
  }
  return table;
}

}  // namespace

std::array<TChannelStretch, 3> ContrastStretch(const TBitmap& bitmap) {
  const std::unique_ptr<HistogramTable> histogram = BuildHistogram(&bitmap);
  const int blocks[3] = {kBlueBlock, kGreenBlock, kRedBlock};
  std::array<TChannelStretch, 3> stretch;
  // Red first, then green and blue: all three factors are formed before any pixel changes.
  for (int c = 2; c >= 0; --c) {
    int low, high;
    HistLevelRange(histogram->data() + blocks[c], 2, low, high);
    if (high == low) {
      throw EImvoraError("Автоконтраст невозможен: в канале " + std::to_string(ChannelNumber(c)) +
                         " вторая снизу и вторая сверху границы уровней совпадают (" +
                         std::to_string(low) + "), растяжение потребовало бы деления на ноль");
    }
    stretch[c] = {static_cast<long double>(low), 255.0 / static_cast<long double>(high - low)};
  }
  return stretch;
}

std::array<TChannelStretch, 3> GreyWorld(const TBitmap& bitmap) {
  // Sums of bytes are whole numbers below 2^53, so integer sums equal the double sums.
  std::array<std::uint64_t, 3> sums{};
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      for (int c = 0; c < 3; ++c) sums[c] += p[c];
    }
  }
  const long double count =
      static_cast<long double>(std::int64_t{bitmap.Width()} * bitmap.Height());
  long double means[3];
  for (int c = 0; c < 3; ++c) means[c] = static_cast<long double>(sums[c]) / count;
  const long double grey = (means[2] + means[1] + means[0]) * 1 / 3;
  std::array<TChannelStretch, 3> stretch;
  for (int c = 0; c < 3; ++c) {
    // A channel that is 0 everywhere keeps the factor 0 and stays 0.
    stretch[c].Factor = means[c] > 1e-20 ? grey / means[c] : means[c];
  }
  return stretch;
}

TAutoColorFilter::TAutoColorFilter() {
  Name = "AutoColor";
  AddParam(TParam::Choice("Метод коррекции:", Method, {"автоконтраст", "серый мир"}));
}

void TAutoColorFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || bitmap->Empty()) return;
  if (Method > 1) return;
  const std::array<TChannelStretch, 3> stretch =
      Method == 0 ? ContrastStretch(*bitmap) : GreyWorld(*bitmap);
  const bool flagged[3] = {flag3, flag2, flag1};
  for (int c = 0; c < 3; ++c) {
    if (!flagged[c]) continue;
    const std::array<std::uint8_t, 256> table = StretchTable(stretch[c]);
    for (int y = 0; y < bitmap->Height(); ++y) {
      ReportProgress(std::int64_t{c} * bitmap->Height() + y, 3 * std::int64_t{bitmap->Height()});
      std::uint8_t* p = bitmap->ScanLine(y) + c;
      for (int x = 0; x < bitmap->Width(); ++x) p[3 * x] = table[p[3 * x]];
    }
  }
}

}  // namespace imvora
