// Gaussian, point, box and rotation filters with their default parameters on camera-like
// pictures (smooth gradients with sensor noise), at 1 and 16 megapixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>

#include "bench/BenchSupport.h"
#include "core/Random.h"
#include "filters/AutoColor.h"
#include "filters/Box.h"
#include "filters/GSharpen.h"
#include "filters/Gaussian.h"
#include "filters/GaussianNoise.h"
#include "filters/GrayScale.h"
#include "filters/LightAlign.h"
#include "filters/Rotate.h"

namespace {

imvora::TBitmap NoisyGradient(int side) {
  imvora::TBitmap bitmap(side, side);
  std::uint32_t state = 2463534242u;
  for (int y = 0; y < side; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int i = 0; i < 3 * side; ++i) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      const int level = (i / 3 + 2 * y) * 200 / (3 * side) + 20 * (i % 3);
      p[i] =
          static_cast<std::uint8_t>(std::clamp(level + static_cast<int>(state % 17) - 8, 0, 255));
    }
  }
  return bitmap;
}

// Argument: image side.
template <class Filter>
void BM_Filter(benchmark::State& state) {
  const imvora::TBitmap source = NoisyGradient(static_cast<int>(state.range(0)));
  Filter filter;
  imvora::SeedRandom(1);
  imvora::bench::TimeFilter(state, filter, source);
}

#define IMVORA_FILTER_BENCHMARK(Class)         \
  BENCHMARK_TEMPLATE(BM_Filter, imvora::Class) \
      ->ArgName("side")                        \
      ->Arg(1024)                              \
      ->Arg(4096)                              \
      ->Unit(benchmark::kMillisecond)

IMVORA_FILTER_BENCHMARK(TGaussFilter);
IMVORA_FILTER_BENCHMARK(TGSharpenFilter);
IMVORA_FILTER_BENCHMARK(TLightAlignFilter);
IMVORA_FILTER_BENCHMARK(TGrayScaleFilter);
IMVORA_FILTER_BENCHMARK(TGaussianNoiseFilter);
IMVORA_FILTER_BENCHMARK(TAutoColorFilter);
IMVORA_FILTER_BENCHMARK(TBoxFilter);
IMVORA_FILTER_BENCHMARK(TRotateFilter);

}  // namespace
