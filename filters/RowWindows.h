#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/Filter.h"
#include "core/Raster.h"

namespace imvora {

// One band of rows of a filter whose output row y reads the input rows y - half ... y + half,
// mirrored at the top and bottom by MirrorIndex, and which writes its output in place. The
// band streams its input rows through a ring of slots: each row is loaded into a slot once,
// before the output row that overwrites it, and stays there while any window needs it.
class TWindowBand {
 public:
  // Fills ring slot `slot` from an input row: its bytes as they were before the filter.
  using TLoad = std::function<void(const std::uint8_t* input, int slot)>;
  // Writes output rows first ... first + count - 1 into the bitmap; window[k] is the slot of
  // input row MirrorIndex(first - half + k) for k = 0 ... 2 half + count - 1.
  using TEmit = std::function<void(int first, int count, const int* window)>;

  // above and below hold copies of the half rows beyond the band's edges (or none at the
  // picture's edge).
  TWindowBand(TBitmap& bitmap, int half, const std::uint8_t* above, const std::uint8_t* below,
              int first, int last);

  // Slots the ring needs to emit up to rowsPerEmit output rows at a time.
  int RingRows(int rowsPerEmit) const;
  // Runs the band, emitting up to rowsPerEmit output rows at a time.
  void Stream(int rowsPerEmit, const TLoad& load, const TEmit& emit) const;

 private:
  const std::uint8_t* InputRow(int y) const;

  TBitmap& bitmap_;
  const int half_;
  const std::uint8_t* above_;
  const std::uint8_t* below_;
  const int first_, last_;
};

// Runs work on every band of rows of the bitmap, on the worker threads. The rows a band reads
// beyond its own are copied into `halo` (kept by the caller from call to call) before any
// band starts, so that a band never reads what its neighbours write. Progress and cancel go
// through the host between bands.
void ForEachWindowBand(TBitmap& bitmap, int half, IFilterHost* host,
                       std::vector<std::uint8_t>& halo,
                       const std::function<void(const TWindowBand& band)>& work);

}  // namespace imvora
