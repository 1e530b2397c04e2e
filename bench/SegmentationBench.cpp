#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "filters/KMeans.h"
#include "recognition/Markup.h"

namespace imvora {
namespace {

void Paint(TBitmap& bitmap, int x, int y, std::uint8_t value) {
  std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
  p[0] = p[1] = p[2] = value;
}

// 4 x 4 blocks of random colours: about a million regions at 4096 x 4096.
TBitmap Blocks(int size) {
  TBitmap bitmap(size, size);
  std::mt19937 random(1);
  for (int by = 0; by < size; by += 4) {
    for (int bx = 0; bx < size; bx += 4) {
      const std::uint32_t colour = random();
      for (int y = by; y < by + 4 && y < size; ++y) {
        for (int x = bx; x < bx + 4 && x < size; ++x) {
          std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
          p[0] = colour & 255;
          p[1] = (colour >> 8) & 255;
          p[2] = (colour >> 16) & 255;
        }
      }
    }
  }
  return bitmap;
}

// A white wall and a black corridor, each one winding region covering half the image.
TBitmap Spiral(int size) {
  TBitmap bitmap(size, size);
  int left = 0, top = 0, right = size - 1, bottom = size - 1;
  while (left <= right && top <= bottom) {
    for (int x = left; x <= right; ++x) Paint(bitmap, x, top, 255);
    for (int y = top; y <= bottom; ++y) Paint(bitmap, right, y, 255);
    if (top + 2 <= bottom) {
      for (int x = left; x <= right; ++x) Paint(bitmap, x, bottom, 255);
    }
    if (left + 2 <= right) {
      for (int y = top + 2; y <= bottom; ++y) Paint(bitmap, left, y, 255);
    }
    left += 2, top += 2, right -= 2, bottom -= 2;
    if (left <= right && top <= bottom) Paint(bitmap, left - 1, top, 255);
  }
  return bitmap;
}

// Smooth colour gradients with noise, like a photograph's colour distribution.
TBitmap Photo(int size) {
  TBitmap bitmap(size, size);
  std::mt19937 random(2);
  std::uniform_int_distribution<int> noise(-12, 12);
  auto clamp = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  for (int y = 0; y < size; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < size; ++x, p += 3) {
      p[0] = clamp(x * 255 / size + noise(random));
      p[1] = clamp(y * 255 / size + noise(random));
      p[2] = clamp(((x / 64 + y / 64) % 4) * 60 + noise(random));
    }
  }
  return bitmap;
}

void BM_LabelBlocks(benchmark::State& state) {
  const TBitmap image = Blocks(static_cast<int>(state.range(0)));
  std::int32_t regions = 0;
  for (auto _ : state) regions = LabelRegions(&image, 0x101010)->RegionCount;
  state.counters["regions"] = regions;
  state.SetItemsProcessed(state.iterations() * image.Width() * image.Height());
}
BENCHMARK(BM_LabelBlocks)->Arg(4096)->Unit(benchmark::kMillisecond);

void BM_LabelSpiral(benchmark::State& state) {
  const TBitmap image = Spiral(static_cast<int>(state.range(0)));
  std::int32_t regions = 0;
  for (auto _ : state) regions = LabelRegions(&image, 0x101010)->RegionCount;
  state.counters["regions"] = regions;
  state.SetItemsProcessed(state.iterations() * image.Width() * image.Height());
}
BENCHMARK(BM_LabelSpiral)->Arg(4096)->Unit(benchmark::kMillisecond);

// The whole filter: packing, initial centres, passes to convergence (tolerance 2), write-back.
void BM_KMeansFilter(benchmark::State& state) {
  const TBitmap image = Photo(static_cast<int>(state.range(0)));
  TkMeansFilter filter;
  filter.ClusterCount = static_cast<std::int32_t>(state.range(1));
  for (auto _ : state) {
    state.PauseTiming();
    TBitmap work = image;
    state.ResumeTiming();
    filter.Apply(&work, true, true, true);
  }
  state.SetItemsProcessed(state.iterations() * image.Width() * image.Height());
}
BENCHMARK(BM_KMeansFilter)
    ->ArgsProduct({{1024, 4096}, {2, 8, 16}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// One pass and the final labelling (two assignment sweeps), scalar (0) or packed (1).
void BM_KMeansPass(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));
  const int k = static_cast<int>(state.range(1));
  std::mt19937 random(3);
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(size) * size);
  for (auto& p : pixels) p = random() & 0xFFFFFF;
  std::vector<std::uint32_t> start(k);
  for (int j = 0; j < k; ++j) start[j] = static_cast<std::uint32_t>(j * 255 / (k - 1)) * 0x010101;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<std::uint32_t> work = pixels, centres = start;
    state.ResumeTiming();
    ClusterizePixels(work.data(), static_cast<std::int32_t>(work.size()), k, state.range(2) != 0,
                     false, 0, centres.data(), 1);
  }
  state.SetItemsProcessed(state.iterations() * 2 * static_cast<std::int64_t>(pixels.size()) * k);
}
BENCHMARK(BM_KMeansPass)
    ->ArgsProduct({{1024, 4096}, {2, 8, 16}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace imvora
