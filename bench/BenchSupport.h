#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "core/Filter.h"
#include "core/Raster.h"

namespace imvora::bench {

// Diagonal gradients, a different one per channel, with a little noise: a photograph's smooth
// areas without the flat ones that would flatter the window filters.
inline TBitmap CameraLikePicture(int width, int height) {
  TBitmap bitmap(width, height);
  std::uint32_t state = 987654321u;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < width * 3; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 28) - 8;
      const int base = ((x / 3) * 255 / width + y * 255 / height + (x % 3) * 40) / 2;
      p[x] = static_cast<std::uint8_t>(std::clamp(base + noise, 0, 255));
    }
  }
  return bitmap;
}

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
