#pragma once

#include <benchmark/benchmark.h>

#include "core/Filter.h"
#include "core/Raster.h"

namespace imvora::bench {

// Times filter.Apply on a fresh copy of `source` per iteration (the copy is not timed).
inline void TimeFilter(benchmark::State& state, TImvoraFilter& filter, const TBitmap& source) {
  TBitmap image = source;
  for (auto _ : state) {
    state.PauseTiming();
    image.Assign(source);
    state.ResumeTiming();
    filter.Apply(&image, true, true, true);
    benchmark::DoNotOptimize(image.ScanLine(0));
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t{source.Width()} * source.Height());
}

}  // namespace imvora::bench
