// Median and morphology filters on camera-like pictures: smooth gradients with sensor noise.
#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"
#include "filters/Median.h"
#include "filters/Morpho.h"

namespace {

imvora::TBitmap Square(int side) {
  return imvora::bench::CameraLikePicture(side, side);
}

// Arguments: image side, radius (1 is the default).
void BM_Median(benchmark::State& state) {
  const imvora::TBitmap source = Square(static_cast<int>(state.range(0)));
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
  const imvora::TBitmap source = Square(static_cast<int>(state.range(0)));
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
