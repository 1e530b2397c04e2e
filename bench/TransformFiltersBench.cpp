// The spectral filter at a power-of-two size and at an awkward one (both lengths prime, so
// newmat's transforms of 4098 and 3000 points carry a large prime factor), and the 2D cleaner's
// window scans, plain and in vectors, on camera-like pictures.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "bench/BenchSupport.h"
#include "filters/2DCleaner.h"
#include "filters/FFT.h"

namespace {

imvora::TBitmap CameraLikePicture(int width, int height) {
  imvora::TBitmap bitmap(width, height);
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

// Arguments: width, height; "Log DCT" on all three channels.
void BM_FFT(benchmark::State& state) {
  const imvora::TBitmap source =
      CameraLikePicture(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
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
  const imvora::TBitmap source = CameraLikePicture(4096, 4096);
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
