// Median and morphology filters on camera-like pictures: smooth gradients with sensor noise.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "bench/BenchSupport.h"
#include "filters/Median.h"
#include "filters/Morpho.h"

namespace {

imvora::TBitmap SyntheticPhoto(int side) {
  imvora::TBitmap bitmap(side, side);
  std::uint32_t state = 12345;
  for (int y = 0; y < side; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < side * 3; ++x) {
      state = state * 1664525u + 1013904223u;
      const int noise = static_cast<int>(state >> 28) - 8;
      const int base = ((x / 3) * 255 / side + y * 255 / side + (x % 3) * 40) / 2;
      p[x] = static_cast<std::uint8_t>(std::clamp(base + noise, 0, 255));
    }
  }
  return bitmap;
}

// Arguments: image side, radius (1 is the default).
void BM_Median(benchmark::State& state) {
  const imvora::TBitmap source = SyntheticPhoto(static_cast<int>(state.range(0)));
  imvora::TMedianFilter filter;
  filter.SetParam(0, static_cast<int>(state.range(1)));
  imvora::bench::TimeFilter(state, filter, source);
}
BENCHMARK(BM_Median)
    ->ArgNames({"side", "r"})
    ->ArgsProduct({{1024, 4096}, {1, 2, 3, 5, 10}})
    ->Unit(benchmark::kMillisecond);

// Arguments: image side, radius (1 is the default), operation code (0 is the default).
void BM_Morpho(benchmark::State& state) {
  const imvora::TBitmap source = SyntheticPhoto(static_cast<int>(state.range(0)));
  imvora::TMorphoFilter filter;
  filter.SetParam(0, static_cast<int>(state.range(1)));
  filter.SetParam(1, static_cast<int>(state.range(2)));
  imvora::bench::TimeFilter(state, filter, source);
}
BENCHMARK(BM_Morpho)
    ->ArgNames({"side", "r", "op"})
    ->ArgsProduct({{1024, 4096}, {1, 3, 10}, {0, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Morpho)
    ->ArgNames({"side", "r", "op"})
    ->ArgsProduct({{1024}, {1}, {1, 3, 4, 5}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
