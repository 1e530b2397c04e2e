// The window filters and the region markup side by side with OpenCV: each case runs the filter
// call through a document as `imvora-cli apply` does and the matching OpenCV operation on the
// same picture, in the same run, and reports the fastest time of each and their ratio, and the
// filter's own Apply beside them.
// Argument `threads`: 1 for one thread on both sides, 0 for all cores on both sides.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "bench/SideBySide.h"
#include "core/Document.h"
#include "filters/FilterCatalog.h"

namespace imvora {
namespace {

using bench::MatOf;
using bench::SideBySide;
using bench::SideBySidePicture;
using bench::TSilentUi;
using bench::UseThreads;

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

// 0 and 1: the natural and the noise picture; 2 and 3: the same in two colours.
const TBitmap& Picture(int kind) {
  static const TBitmap naturalTwo = TwoColour(SideBySidePicture(0));
  static const TBitmap noiseTwo = TwoColour(SideBySidePicture(1));
  return kind < 2 ? SideBySidePicture(kind) : kind == 2 ? naturalTwo : noiseTwo;
}

std::string PictureName(int kind) {
  static const char* const names[] = {"natural", "noise", "natural two-colour", "noise two-colour"};
  return names[kind];
}

double Milliseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

// Argument `r`: the window radius; OpenCV's aperture is 2r + 1.
void BM_MedianVsOpenCV(benchmark::State& state) {
  const TBitmap& picture = Picture(static_cast<int>(state.range(0)));
  const int r = static_cast<int>(state.range(2));
  const cv::Mat source = MatOf(picture);
  cv::Mat result;
  SideBySide(state, "Median(YYY " + std::to_string(r) + ")", picture, PictureName(state.range(0)),
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
  const cv::Mat source = MatOf(picture);
  cv::Mat result, pass;
  SideBySide(state, "Morpho(YYY " + std::to_string(r) + " " + std::to_string(op) + ")", picture,
             PictureName(state.range(0)), [&] { OpenCVMorphology(source, result, pass, r, op); });
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
  cv::cvtColor(MatOf(picture), grey, cv::COLOR_BGR2GRAY);
  SideBySide(state, "Markup(YYY 0 0 0)", picture, PictureName(state.range(0)), [&] {
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
  TSilentUi ui;
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
    cv::cvtColor(MatOf(document.CurrentImage), grey, cv::COLOR_BGR2GRAY);
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
