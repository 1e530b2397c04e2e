#include "filters/RowWindows.h"

#include <algorithm>
#include <cstring>

#include "core/RowBands.h"
#include "filters/Mirror.h"

namespace imvora {
namespace {

// Bands of at least eight windows' height keep the rows loaded twice (at the band edges) and
// the halo copies to a few hundredths of the picture.
int BandCount(int height, int half) {
  return std::clamp(height / (8 * (2 * half + 2)), 1, 32);
}

int BandStart(int band, int bands, int height) {
  return static_cast<int>(std::int64_t{band} * height / bands);
}

std::size_t RowBytes(const TBitmap& bitmap) {
  return 3 * static_cast<std::size_t>(bitmap.Width());
}

}  // namespace

TWindowBand::TWindowBand(TBitmap& bitmap, int half, const std::uint8_t* above,
                         const std::uint8_t* below, int first, int last)
    : bitmap_(bitmap), half_(half), above_(above), below_(below), first_(first), last_(last) {}

int TWindowBand::RingRows(int rowsPerEmit) const {
  return std::min(bitmap_.Height(), 2 * half_ + rowsPerEmit);
}

const std::uint8_t* TWindowBand::InputRow(int y) const {
  if (y >= first_ && y < last_) return bitmap_.ScanLine(y);
  const std::size_t rowBytes = RowBytes(bitmap_);
  if (y < first_) return above_ + static_cast<std::size_t>(y - (first_ - half_)) * rowBytes;
  return below_ + static_cast<std::size_t>(y - last_) * rowBytes;
}

void TWindowBand::Stream(int rowsPerEmit, const TLoad& load, const TEmit& emit) const {
  const int height = bitmap_.Height();
  const int ring = RingRows(rowsPerEmit);
  // A ring that holds the whole picture is filled first: the windows of a short picture fold
  // over all of it.
  int next = ring == height ? 0 : std::max(0, first_ - half_);
  auto loadUpTo = [&](int last) {
    for (; next <= last; ++next) load(InputRow(next), next % ring);
  };
  if (ring == height) loadUpTo(height - 1);
  std::vector<int> window(2 * half_ + rowsPerEmit);
  for (int y = first_; y < last_;) {
    const int count = std::min(rowsPerEmit, last_ - y);
    loadUpTo(std::min(height - 1, y + half_ + count - 1));
    for (int k = 0; k < 2 * half_ + count; ++k)
      window[k] = MirrorIndex(y - half_ + k, height) % ring;
    emit(y, count, window.data());
    y += count;
  }
}

void ForEachWindowBand(TBitmap& bitmap, int half, IFilterHost* host,
                       std::vector<std::uint8_t>& halo,
                       const std::function<void(const TWindowBand& band)>& work) {
  const int height = bitmap.Height();
  const int bands = BandCount(height, half);
  const std::size_t rowBytes = RowBytes(bitmap);
  // The edge between bands b and b + 1 keeps the half rows on either side of it, in block b:
  // the rows above it for band b + 1, the rows below it for band b.
  const std::size_t blockBytes = 2 * static_cast<std::size_t>(half) * rowBytes;
  halo.resize((bands - 1) * blockBytes);
  auto block = [&](int edge) { return halo.data() + edge * blockBytes; };
  for (int edge = 0; edge + 1 < bands; ++edge) {
    const int row = BandStart(edge + 1, bands, height);
    for (int i = 0; i < 2 * half; ++i) {
      std::memcpy(block(edge) + i * rowBytes, bitmap.ScanLine(row - half + i), rowBytes);
    }
  }
  ForEachRowBand(bands, host, [&](int firstBand, int lastBand) {
    for (int band = firstBand; band < lastBand; ++band) {
      const std::uint8_t* above = band > 0 ? block(band - 1) : nullptr;
      const std::uint8_t* below = band + 1 < bands ? block(band) + half * rowBytes : nullptr;
      work(TWindowBand(bitmap, half, above, below, BandStart(band, bands, height),
                       BandStart(band + 1, bands, height)));
    }
  });
}

}  // namespace imvora
