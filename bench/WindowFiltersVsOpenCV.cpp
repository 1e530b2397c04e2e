// The window filters and the region markup side by side with OpenCV: each case runs the filter
// call through a document as `imvora-cli apply` does and the matching OpenCV operation on the
// same picture, in the same run, and reports the fastest time of each and their ratio.
// Argument `threads`: 1 for one thread on both sides, 0 for all cores on both sides.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <limits>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>

#include "core/Document.h"
#include "core/RowBands.h"
#include "filters/FilterCatalog.h"

namespace imvora {
namespace {

constexpr int kSide = 4096;

class TBenchUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  bool ChooseSaveName(std::string&) override { return false; }
  bool AskJpegOptions(TJpegDialogResult&) override { return false; }
};

std::uint8_t Clamp(int v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// Overlapping discs of smoothly shaded colour over a gradient, with slight sensor noise: flat
// areas, soft shading and sharp edges, as in a photograph.
TBitmap Natural(int side) {
  TBitmap bitmap(side, side);
  std::mt19937 random(5);
  for (int y = 0; y < side; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < side; ++x, p += 3) {
      p[0] = Clamp(x * 200 / side + 30);
      p[1] = Clamp(y * 180 / side + 40);
      p[2] = Clamp((x + y) * 100 / side + 60);
    }
  }
  std::uniform_int_distribution<int> position(0, side - 1), radius(side / 64, side / 6),
      colour(0, 255);
  for (int disc = 0; disc < 60; ++disc) {
    const int cx = position(random), cy = position(random), r = radius(random);
    const int c[3] = {colour(random), colour(random), colour(random)};
    for (int y = std::max(0, cy - r); y < std::min(side, cy + r); ++y) {
      std::uint8_t* row = bitmap.ScanLine(y);
      for (int x = std::max(0, cx - r); x < std::min(side, cx + r); ++x) {
        const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        if (d2 > r * r) continue;
        const int shade = 40 * (y - cy) / r;
        for (int b = 0; b < 3; ++b) row[3 * x + b] = Clamp(c[b] + shade);
      }
    }
  }
  std::uniform_int_distribution<int> noise(-3, 3);
  for (int y = 0; y < side; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int i = 0; i < 3 * side; ++i) p[i] = Clamp(p[i] + noise(random));
  }
  return bitmap;
}

TBitmap Noise(int side) {
  TBitmap bitmap(side, side);
  std::mt19937 random(6);
  for (int y = 0; y < side; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int i = 0; i < 3 * side; i += 4) {
      const std::uint32_t bits = random();
      for (int k = 0; k < 4 && i + k < 3 * side; ++k) p[i + k] = (bits >> (8 * k)) & 255;
    }
  }
  return bitmap;
}

// Black where the green byte is below 128, else white.
TBitmap TwoColour(const TBitmap& picture) {
  TBitmap bitmap = picture;
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) p[0] = p[1] = p[2] = p[1] < 128 ? 0 : 255;
  }
  return bitmap;
}

// One-pixel squares: every pixel is a region of its own.
TBitmap Checkerboard(int side) {
  TBitmap bitmap(side, side);
  for (int y = 0; y < side; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < side; ++x, p += 3) p[0] = p[1] = p[2] = (x + y) % 2 ? 255 : 0;
  }
  return bitmap;
}

const TBitmap& Picture(int kind) {
  static const TBitmap natural = Natural(kSide), noise = Noise(kSide);
  static const TBitmap naturalTwo = TwoColour(natural), noiseTwo = TwoColour(noise);
  switch (kind) {
    case 0:
      return natural;
    case 1:
      return noise;
    case 2:
      return naturalTwo;
    default:
      return noiseTwo;
  }
}

const char* PictureName(int kind) {
  static const char* const names[] = {"natural", "noise", "natural two-colour", "noise two-colour"};
  return names[kind];
}

// The bitmap's pixels as an OpenCV image sharing its rows.
cv::Mat View(const TBitmap& bitmap) {
  return cv::Mat(bitmap.Height(), bitmap.Width(), CV_8UC3,
                 const_cast<std::uint8_t*>(bitmap.ScanLine(0)), bitmap.RowBytes());
}

double Milliseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

void UseThreads(int threads) {
  SetWorkerThreads(threads);
  cv::setNumThreads(threads == 1 ? 1 : -1);
}

// Times `call` through a document on a fresh copy of the picture (the copy is not timed) and
// `opencv` on the same picture, alternately; reports the fastest of each and their ratio, and
// apart from that the filter's own Apply (without the document's work around the call).
void SideBySide(benchmark::State& state, const std::string& call, const TBitmap& picture,
                const std::function<void()>& opencv) {
  UseThreads(static_cast<int>(state.range(1)));
  TBenchUi ui;
  TDocument document(ui);
  RegisterFilters(document);
  document.CurrentImage = picture;
  document.ShowBitmap(document.CurrentImage);
  document.SelectAll();
  TImvoraFilter* filter = document.Filter(document.FindFilter(call.substr(0, call.find('('))));
  double ours = std::numeric_limits<double>::infinity(), theirs = ours, apply = ours;
  for (auto _ : state) {
    document.CurrentImage = picture;
    ours = std::min(ours, Milliseconds([&] { document.RunFilterCall(call); }));
    theirs = std::min(theirs, Milliseconds(opencv));
    document.CurrentImage = picture;
    apply = std::min(apply, Milliseconds([&] { filter->Apply(&document.CurrentImage, 1, 1, 1); }));
  }
  state.SetLabel(call + " on " + PictureName(static_cast<int>(state.range(0))));
  state.counters["imvora_ms"] = ours;
  state.counters["opencv_ms"] = theirs;
  state.counters["ratio"] = ours / theirs;
  state.counters["apply_ms"] = apply;
  UseThreads(0);
}

// Argument `r`: the window radius; OpenCV's aperture is 2r + 1.
void BM_MedianVsOpenCV(benchmark::State& state) {
  const TBitmap& picture = Picture(static_cast<int>(state.range(0)));
  const int r = static_cast<int>(state.range(2));
  const cv::Mat source = View(picture);
  cv::Mat result;
  SideBySide(state, "Median(YYY " + std::to_string(r) + ")", picture,
             [&] { cv::medianBlur(source, result, 2 * r + 1); });
}
BENCHMARK(BM_MedianVsOpenCV)
    ->ArgNames({"picture", "threads", "r"})
    ->ArgsProduct({{0, 1}, {1, 0}, {1, 2, 10}})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// The OpenCV counterpart of each operation code: 0 takes the window maximum (dilate), 1 the
// minimum (erode), 2 and 3 their compositions, 4 and 5 the differences with the picture.
void OpenCVMorphology(const cv::Mat& source, cv::Mat& result, cv::Mat& pass, int r, int op) {
  const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(2 * r + 1, 2 * r + 1));
  switch (op) {
    case 0:
      return cv::dilate(source, result, kernel);
    case 1:
      return cv::erode(source, result, kernel);
    case 2:
      return cv::morphologyEx(source, result, cv::MORPH_CLOSE, kernel);
    case 3:
      return cv::morphologyEx(source, result, cv::MORPH_OPEN, kernel);
    case 4:
      cv::dilate(source, pass, kernel);
      return cv::subtract(pass, source, result);
    default:
      cv::erode(source, pass, kernel);
      return cv::subtract(source, pass, result);
  }
}

// Arguments `r` and `op`: the radius and the operation code.
void BM_MorphoVsOpenCV(benchmark::State& state) {
  const TBitmap& picture = Picture(static_cast<int>(state.range(0)));
  const int r = static_cast<int>(state.range(2)), op = static_cast<int>(state.range(3));
  const cv::Mat source = View(picture);
  cv::Mat result, pass;
  SideBySide(state, "Morpho(YYY " + std::to_string(r) + " " + std::to_string(op) + ")", picture,
             [&] { OpenCVMorphology(source, result, pass, r, op); });
}
BENCHMARK(BM_MorphoVsOpenCV)
    ->ArgNames({"picture", "threads", "r", "op"})
    ->ArgsProduct({{0, 1}, {1, 0}, {1, 3, 10}, {0, 1, 2, 3, 4, 5}})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Two-colour pictures; OpenCV labels the white regions of the grey picture with 4-connectivity
// and counts the black ones as its background, the markup labels both. Each call makes a fresh
// label map on both sides, as a one-off call does.
void BM_MarkupVsOpenCV(benchmark::State& state) {
  const TBitmap& picture = Picture(static_cast<int>(state.range(0)));
  cv::Mat grey;
  cv::cvtColor(View(picture), grey, cv::COLOR_BGR2GRAY);
  SideBySide(state, "Markup(YYY 0 0 0)", picture, [&] {
    cv::Mat labels, stats, centroids;
    cv::connectedComponentsWithStats(grey, labels, stats, centroids, 4, CV_32S);
  });
}
BENCHMARK(BM_MarkupVsOpenCV)
    ->ArgNames({"picture", "threads"})
    ->ArgsProduct({{2, 3}, {1, 0}})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

// Peak resident memory of the process since the last reset, in bytes.
std::int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return 0;
}
std::int64_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return 0;
}
void ResetPeakResident() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

// The worst case of the markup: an 8192 x 8192 checkerboard of one-pixel regions. Reports the
// time and the memory the call adds at its peak, per pixel, beside OpenCV's.
void BM_MarkupCheckerboard(benchmark::State& state) {
  UseThreads(1);
  const int side = static_cast<int>(state.range(0));
  TBenchUi ui;
  TDocument document(ui);
  RegisterFilters(document);
  document.CurrentImage = Checkerboard(side);
  document.ShowBitmap(document.CurrentImage);
  document.SelectAll();
  const double pixels = static_cast<double>(side) * side;
  double ours = 0, theirs = 0, oursBytes = 0, theirsBytes = 0;
  for (auto _ : state) {
    document.SetMarkup(nullptr);
    std::int64_t before = ResidentBytes();
    ResetPeakResident();
    ours = Milliseconds([&] { document.RunFilterCall("Markup(YYY 0 0 0)"); });
    oursBytes = static_cast<double>(PeakResidentBytes() - before);
    document.SetMarkup(nullptr);
    cv::Mat grey, labels, stats, centroids;
    cv::cvtColor(View(document.CurrentImage), grey, cv::COLOR_BGR2GRAY);
    before = ResidentBytes();
    ResetPeakResident();
    theirs = Milliseconds(
        [&] { cv::connectedComponentsWithStats(grey, labels, stats, centroids, 4, CV_32S); });
    theirsBytes = static_cast<double>(PeakResidentBytes() - before);
  }
  state.counters["imvora_ms"] = ours;
  state.counters["imvora_bytes_per_pixel"] = oursBytes / pixels;
  state.counters["opencv_ms"] = theirs;
  state.counters["opencv_bytes_per_pixel"] = theirsBytes / pixels;
  UseThreads(0);
}
BENCHMARK(BM_MarkupCheckerboard)
    ->ArgName("side")
    ->Arg(8192)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace imvora
