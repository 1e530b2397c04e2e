#include "filters/InPlaceRows.h"

#include <algorithm>

#include "core/RowBands.h"
#include "filters/ByteVectors.h"

namespace imvora {
namespace {

// Enough bands for smooth progress and both cores busy; each band also recomputes the rows of
// its halo, so bands stay several halos tall.
constexpr int kBands = 32;
constexpr int kBandHalos = 8;

template <class V, TStoreKind Kind>
[[gnu::always_inline]] inline void Combine(V& value, const V& original) {
  if (Kind == TStoreKind::ResultMinusRow) value = value - original;
  if (Kind == TStoreKind::RowMinusResult) value = original - value;
}

template <class V, TStoreKind Kind>
[[gnu::always_inline]] inline void StoreRowAs(std::uint8_t* row, const std::uint8_t* result,
                                              const std::uint8_t* mask, int n) {
  int i = 0;
  for (; i + static_cast<int>(sizeof(V)) <= n; i += sizeof(V)) {
    V value, original;
    bytes::Load(value, result + i);
    bytes::Load(original, row + i);
    Combine<V, Kind>(value, original);
    if (mask != nullptr) {
      V m;
      bytes::Load(m, mask + i);
      value = (value & m) | (original & ~m);
    }
    bytes::Store(row + i, value);
  }
  for (; i < n; ++i) {
    if (mask != nullptr && mask[i] == 0) continue;
    std::uint8_t value = result[i];
    if (Kind == TStoreKind::ResultMinusRow) value = static_cast<std::uint8_t>(value - row[i]);
    if (Kind == TStoreKind::RowMinusResult) value = static_cast<std::uint8_t>(row[i] - value);
    row[i] = value;
  }
}

template <class V>
[[gnu::always_inline]] inline void StoreRowWith(std::uint8_t* row, const std::uint8_t* result,
                                                const std::uint8_t* mask, int n, TStoreKind kind) {
  switch (kind) {
    case TStoreKind::Replace:
      return StoreRowAs<V, TStoreKind::Replace>(row, result, mask, n);
    case TStoreKind::ResultMinusRow:
      return StoreRowAs<V, TStoreKind::ResultMinusRow>(row, result, mask, n);
    case TStoreKind::RowMinusResult:
      return StoreRowAs<V, TStoreKind::RowMinusResult>(row, result, mask, n);
  }
}

IMVORA_AVX2 void StoreRowAvx2(std::uint8_t* row, const std::uint8_t* result,
                              const std::uint8_t* mask, int n, TStoreKind kind) {
  StoreRowWith<bytes::TBytes32>(row, result, mask, n, kind);
}

void StoreRowBaseline(std::uint8_t* row, const std::uint8_t* result, const std::uint8_t* mask,
                      int n, TStoreKind kind) {
  StoreRowWith<bytes::TBytes16>(row, result, mask, n, kind);
}

}  // namespace

const std::uint8_t* TBandSource::Row(int y) const {
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(bitmap_.Width());
  if (y < first_) return above_ + (y - (first_ - halo_)) * rowBytes;
  if (y >= last_) return below_ + (y - last_) * rowBytes;
  return bitmap_.ScanLine(y);
}

void ForEachInPlaceBand(
    TBitmap& bitmap, int halo, IFilterHost* host, TWindowScratch& scratch,
    const std::function<void(int, int, const TBandSource&, std::vector<std::uint8_t>&)>& work) {
  const int h = bitmap.Height();
  if (h <= 0 || bitmap.Width() <= 0) return;
  const int bandRows = std::max({1, (h + kBands - 1) / kBands, kBandHalos * halo});
  const int bands = (h + bandRows - 1) / bandRows;
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(bitmap.Width());
  // Per band: the `halo` rows above it, then the `halo` rows below it (rows outside the
  // bitmap are left unset; nobody reads them).
  const std::size_t edgeBytes = 2 * static_cast<std::size_t>(halo) * rowBytes;
  scratch.Edges.resize(edgeBytes * bands);
  for (int band = 0; band < bands; ++band) {
    const int first = band * bandRows, last = std::min(h, first + bandRows);
    std::uint8_t* above = scratch.Edges.data() + band * edgeBytes;
    std::uint8_t* below = above + halo * rowBytes;
    for (int i = 0; i < halo; ++i) {
      if (first - halo + i >= 0) {
        std::copy_n(bitmap.ScanLine(first - halo + i), rowBytes, above + i * rowBytes);
      }
      if (last + i < h) std::copy_n(bitmap.ScanLine(last + i), rowBytes, below + i * rowBytes);
    }
  }
  ForEachRowBand(bands, host, [&](int firstBand, int lastBand) {
    TBytePool::TLease lease = scratch.Bands.Take();
    for (int band = firstBand; band < lastBand; ++band) {
      const int first = band * bandRows, last = std::min(h, first + bandRows);
      const std::uint8_t* above = scratch.Edges.data() + band * edgeBytes;
      const TBandSource source(bitmap, first, last, above, above + halo * rowBytes, halo);
      work(first, last, source, *lease);
    }
  });
}

void StoreRow(std::uint8_t* row, const std::uint8_t* result, const std::uint8_t* mask, int n,
              TStoreKind kind) {
  if (bytes::HasAvx2()) {
    StoreRowAvx2(row, result, mask, n, kind);
  } else {
    StoreRowBaseline(row, result, mask, n, kind);
  }
}

std::vector<std::uint8_t> FlagMask(int width, bool flag1, bool flag2, bool flag3) {
  if (flag1 && flag2 && flag3) return {};
  const bool byteFlagged[3] = {flag3, flag2, flag1};
  std::vector<std::uint8_t> mask(3 * static_cast<std::size_t>(width));
  for (std::size_t i = 0; i < mask.size(); ++i) mask[i] = byteFlagged[i % 3] ? 255 : 0;
  return mask;
}

}  // namespace imvora
