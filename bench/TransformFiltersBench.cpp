// The spectral filter at a power-of-two size and at an awkward one (both lengths prime, so
// newmat's transforms of 4098 and 3000 points carry a large prime factor), and the 2D cleaner's
// window scans, plain and in vectors, on camera-like pictures.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/BenchSupport.h"
#include "filters/2DCleaner.h"
#include "filters/FFT.h"

namespace {

// Arguments: width, height; "Log DCT" on all three channels.
void BM_FFT(benchmark::State& state) {
  const imvora::TBitmap source = imvora::bench::CameraLikePicture(static_cast<int>(state.range(0)),
                                                                  static_cast<int>(state.range(1)));
  imvora::TFFTFilter filter;
  imvora::bench::TimeFilter(state, filter, source);
}
BENCHMARK(BM_FFT)->ArgNames({"w", "h"})->Args({1024, 1024})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FFT)
    ->ArgNames({"w", "h"})
    ->Args({4096, 4096})
    ->Args({4099, 3001})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Arguments: radius, scan (0 plain, 1 vector); threshold 20 on 4096 × 4096.
void BM_2DCleaner(benchmark::State& state) {
  const imvora::TBitmap source = imvora::bench::CameraLikePicture(4096, 4096);
  imvora::T2DCleanerFilter filter;
  filter.Radius = static_cast<std::int32_t>(state.range(0));
  filter.Scan = state.range(1) ? imvora::TCleanerScan::Vector : imvora::TCleanerScan::Plain;
  imvora::bench::TimeFilter(state, filter, source);
}
BENCHMARK(BM_2DCleaner)
    ->ArgNames({"radius", "vector"})
    ->ArgsProduct({{1, 3, 10}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

}  // namespace
