#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/Filter.h"
#include "core/Raster.h"
#include "filters/ScratchPool.h"

namespace imvora {

// How a window filter visits its windows: Plain gathers every window afresh, as the filter is
// defined; Fast streams the rows through vector passes. Both give the same bytes.
enum class TWindowScan { Plain, Fast };

// A band's working memory, leased from a pool the filter keeps from one run to the next.
using TBytePool = TScratchPool<std::vector<std::uint8_t>>;

// What a window filter keeps between runs: the band buffers and the copies of the rows at the
// bands' edges.
struct TWindowScratch {
  TBytePool Bands;
  std::vector<std::uint8_t> Edges;
};

// The rows an in-place band reads: each row as it was before the run.
class TBandSource {
 public:
  TBandSource(TBitmap& bitmap, int first, int last, const std::uint8_t* above,
              const std::uint8_t* below, int halo)
      : bitmap_(bitmap), first_(first), last_(last), above_(above), below_(below), halo_(halo) {}

  // Row y, for y within the halo of the band. A row of the band itself is the bitmap's row:
  // the band must read it before writing it.
  const std::uint8_t* Row(int y) const;

 private:
  TBitmap& bitmap_;
  int first_, last_;
  const std::uint8_t* above_;
  const std::uint8_t* below_;
  int halo_;
};

// Runs an in-place row filter of a 24-bit bitmap in bands on the worker threads (ForEachRowBand):
// work(first, last, source, buffer) replaces rows first ... last - 1, each computed from the
// original rows within `halo` of it. The rows within `halo` of every band's edges are copied
// aside first, so that a band sees the original rows whatever its neighbours have written.
// `buffer` is the band's leased working memory. Progress and cancellation go through the host.
void ForEachInPlaceBand(
    TBitmap& bitmap, int halo, IFilterHost* host, TWindowScratch& scratch,
    const std::function<void(int, int, const TBandSource&, std::vector<std::uint8_t>&)>& work);

// How StoreRow combines a computed row with the bitmap's row.
enum class TStoreKind {
  Replace,         // the computed value
  ResultMinusRow,  // computed − original (never negative for the callers)
  RowMinusResult   // original − computed
};

// Writes n bytes of `result` into the bitmap row, at the bytes whose `mask` byte is 255 (every
// byte when mask is null); the other bytes keep their value.
void StoreRow(std::uint8_t* row, const std::uint8_t* result, const std::uint8_t* mask, int n,
              TStoreKind kind);

// 255 at the bytes of the flagged channels of a row of `width` pixels, 0 elsewhere; empty when
// all three channels are flagged.
std::vector<std::uint8_t> FlagMask(int width, bool flag1, bool flag2, bool flag3);

}  // namespace imvora
