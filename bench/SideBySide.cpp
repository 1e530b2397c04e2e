#include "bench/SideBySide.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <opencv2/core/utility.hpp>
#include <random>
#include <vector>

#include "core/Document.h"
#include "core/RowBands.h"
#include "filters/FilterCatalog.h"

namespace imvora::bench {
namespace {

// Adds a smooth random field: a lattice of random values every `cell` pixels, interpolated
// bilinearly in between.
void AddOctave(std::vector<float>& field, int side, int cell, float amplitude,
               std::mt19937& random) {
  const int knots = side / cell + 2;
  std::uniform_real_distribution<float> value(-amplitude, amplitude);
  std::vector<float> lattice(static_cast<std::size_t>(knots) * knots);
  for (float& v : lattice) v = value(random);
  for (int y = 0; y < side; ++y) {
    const int ky = y / cell;
    const float fy = static_cast<float>(y % cell) / cell;
    const float* top = lattice.data() + static_cast<std::size_t>(ky) * knots;
    const float* bottom = top + knots;
    float* out = field.data() + static_cast<std::size_t>(y) * side;
    for (int x = 0; x < side; ++x) {
      const int kx = x / cell;
      const float fx = static_cast<float>(x % cell) / cell;
      const float upper = top[kx] + (top[kx + 1] - top[kx]) * fx;
      const float lower = bottom[kx] + (bottom[kx + 1] - bottom[kx]) * fx;
      out[x] += upper + (lower - upper) * fy;
    }
  }
}

TBitmap NaturalPicture(int side) {
  std::mt19937 random(20240611);
  std::vector<float> light(static_cast<std::size_t>(side) * side, 128.0f);
  const std::pair<int, float> octaves[] = {{1024, 70}, {256, 35}, {64, 18}, {16, 8}, {4, 4}};
  for (const auto& [cell, amplitude] : octaves) AddOctave(light, side, cell, amplitude, random);
  TBitmap bitmap(side, side);
  std::uint32_t state = 2463534242u;
  for (int c = 0; c < 3; ++c) {
    std::vector<float> tint(light.size(), 0.0f);
    AddOctave(tint, side, 512, 30, random);
    for (int y = 0; y < side; ++y) {
      std::uint8_t* p = bitmap.ScanLine(y) + c;
      const std::size_t row = static_cast<std::size_t>(y) * side;
      for (int x = 0; x < side; ++x) {
        // Sensor noise: the sum of two uniform values, -3 ... 3.
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const float noise = static_cast<float>((state & 3) + ((state >> 8) & 3)) - 3.0f;
        const float v = light[row + x] + tint[row + x] + noise;
        p[3 * x] = static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
      }
    }
  }
  return bitmap;
}

TBitmap NoisePicture(int side) {
  std::mt19937 random(7);
  TBitmap bitmap(side, side);
  for (int y = 0; y < side; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int i = 0; i < 3 * side; ++i) p[i] = static_cast<std::uint8_t>(random());
  }
  return bitmap;
}

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

}  // namespace

const TBitmap& SideBySidePicture(int kind) {
  static const TBitmap natural = NaturalPicture(kSideBySideSide);
  static const TBitmap noise = NoisePicture(kSideBySideSide);
  return kind == 0 ? natural : noise;
}

cv::Mat MatOf(const TBitmap& bitmap) {
  return cv::Mat(bitmap.Height(), bitmap.Width(), CV_8UC3,
                 const_cast<std::uint8_t*>(bitmap.ScanLine(0)),
                 static_cast<std::size_t>(bitmap.RowBytes()));
}

void UseThreads(int threads) {
  SetWorkerThreads(threads);
  cv::setNumThreads(threads == 0 ? cv::getNumberOfCPUs() : threads);
}

void SideBySide(benchmark::State& state, const std::string& call, const TBitmap& picture,
                const std::string& pictureName, const std::function<void()>& openCv) {
  UseThreads(static_cast<int>(state.range(1)));
  TSilentUi ui;
  TDocument document(ui);
  RegisterFilters(document);
  // What opening the picture leaves: the current and source images and the view.
  document.CurrentImage = picture;
  document.SourceImage = picture;
  document.ShowBitmap(document.CurrentImage);
  document.SelectAll();
  TImvoraFilter* filter = document.Filter(document.FindFilter(call.substr(0, call.find('('))));
  const std::size_t bytes = static_cast<std::size_t>(picture.RowBytes()) * picture.Height();
  std::vector<std::uint8_t> copy(bytes);
  double ours = std::numeric_limits<double>::infinity(), theirs = ours, apply = ours, floor = ours;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    document.CurrentImage = picture;
    const Clock::time_point start = Clock::now();
    document.RunFilterCall(call);
    const Clock::time_point middle = Clock::now();
    openCv();
    const Clock::time_point end = Clock::now();
    state.SetIterationTime(Seconds(middle - start));
    ours = std::min(ours, Seconds(middle - start));
    theirs = std::min(theirs, Seconds(end - middle));
    document.CurrentImage = picture;
    const Clock::time_point applyStart = Clock::now();
    filter->Apply(&document.CurrentImage, true, true, true);
    const Clock::time_point copyStart = Clock::now();
    std::memcpy(copy.data(), picture.ScanLine(0), bytes);
    const Clock::time_point copyEnd = Clock::now();
    apply = std::min(apply, Seconds(copyStart - applyStart));
    floor = std::min(floor, Seconds(copyEnd - copyStart));
  }
  state.SetLabel(call + " on " + pictureName);
  state.counters["ours_ms"] = ours * 1e3;
  state.counters["opencv_ms"] = theirs * 1e3;
  state.counters["ratio"] = ours / theirs;
  state.counters["apply_ms"] = apply * 1e3;
  state.counters["apply_floors"] = apply / floor;
  state.counters["around_copies"] = (ours - apply) / floor;
  UseThreads(0);
}

void SideBySide(benchmark::State& state, const std::string& call, const TOpenCvOp& openCv) {
  const int kind = static_cast<int>(state.range(0));
  const TBitmap& picture = SideBySidePicture(kind);
  const cv::Mat source = MatOf(picture);
  cv::Mat result;
  SideBySide(state, call, picture, kind == 0 ? "natural" : "noise",
             [&] { openCv(source, result); });
}

void SideBySideArguments(benchmark::internal::Benchmark* b) {
  // The best of several turns: other processes slow single turns of either side.
  b->ArgNames({"picture", "threads"})
      ->ArgsProduct({{0, 1}, {1, 0}})
      ->UseManualTime()
      ->Iterations(12)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace imvora::bench
