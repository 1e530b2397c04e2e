#include "filters/FFT.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "core/Filtering.h"
#include "filters/ChannelPlane.h"
#include "filters/TrigTransforms.h"

namespace imvora {
namespace {

enum : std::uint8_t { kLogDct, kLogDst, kIdctExp, kIdstExp };

// The planes of bytes 0, 1 and 2 (blue, green, red), each width × height values in row order.
// Every step is evaluated in extended precision with double constants; the planes keep
// doubles, as newmat does.
using TPlanes = std::array<std::vector<double>, 3>;

constexpr double kByteScale = 1.0 / 255;

long double Sign(double v) {
  return (v > 0) - (v < 0);
}

double Compressed(double v) {
  return static_cast<double>(Sign(v) * std::log(1 + std::fabs(static_cast<long double>(v))));
}

double Expanded(double v) {
  return static_cast<double>(Sign(v) * (std::exp(std::fabs(static_cast<long double>(v))) - 1));
}

double ForwardValue(std::uint8_t b) {
  return static_cast<double>(2.0L * b * kByteScale - 1);
}
std::uint8_t ForwardByte(double v) {
  return ToByte(8.0L * v + 128);
}
double InverseValue(std::uint8_t b) {
  return (b - 128) * 0.125;
}
std::uint8_t InverseByte(double v) {
  return ToByte((v + 1.0L) * 255 * 0.5);
}

// All three planes are built, whatever the flags; memory runs out here, before any write.
template <class Decode>
TPlanes ReadPlanes(const TBitmap& bitmap, Decode value) {
  const int w = bitmap.Width(), h = bitmap.Height();
  TPlanes planes;
  for (auto& plane : planes) plane.resize(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = bitmap.ScanLine(y);
    const std::size_t row = static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x, p += 3) {
      for (int c = 0; c < 3; ++c) planes[c][row + x] = value(p[c]);
    }
  }
  return planes;
}

template <class Encode>
void WritePlanes(const TPlanes& planes, TBitmap& bitmap, Encode byte) {
  const int w = bitmap.Width();
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    const std::size_t row = static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x, p += 3) {
      for (int c = 0; c < 3; ++c) p[c] = byte(planes[c][row + x]);
    }
  }
}

template <class F>
void ForEachValue(TPlanes& planes, F f) {
  for (auto& plane : planes) {
    for (double& v : plane) v = f(v);
  }
}

// Transforms the rows and the columns of the flagged planes in blocks of lines, reporting the
// lines done between blocks.
class TPlaneTransform {
 public:
  TPlaneTransform(const TImvoraFilter& filter, const std::vector<int>& bytes, int w, int h,
                  TTrigFamily family, bool inverse)
      : filter_(filter),
        bytes_(bytes),
        w_(w),
        h_(h),
        family_(family),
        inverse_(inverse),
        total_(static_cast<std::int64_t>(bytes.size()) * (w + h)) {}

  // A line of length 1 is left untransformed: newmat has no transform of that length.
  void Rows(TPlanes& planes) {
    for (int c : bytes_) Lines({planes[c].data(), h_, w_, w_, 1});
  }
  void Columns(TPlanes& planes) {
    for (int c : bytes_) Lines({planes[c].data(), w_, h_, 1, w_});
  }

 private:
  void Lines(const TLineLayout& lines) {
    constexpr int kBlock = 64;
    for (int first = 0; first < lines.Count && lines.Length >= 2; first += kBlock) {
      filter_.ReportProgress(done_ + first, total_);
      TLineLayout block = lines;
      block.Start += first * lines.LineStep;
      block.Count = std::min(kBlock, lines.Count - first);
      TransformLines(family_, inverse_, block);
    }
    done_ += lines.Count;
  }

  const TImvoraFilter& filter_;
  const std::vector<int>& bytes_;
  const int w_, h_;
  const TTrigFamily family_;
  const bool inverse_;
  const std::int64_t total_;
  std::int64_t done_ = 0;
};

}  // namespace

TFFTFilter::TFFTFilter() {
  Name = "FFT";
  AddParam(
      TParam::Choice("Преобразование:", Transform, {"Log DCT", "Log DST", "IDCT Exp", "IDST Exp"}));
}

void TFFTFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || bitmap->Empty()) return;
  if (Transform > kIdstExp) return;
  const int w = bitmap->Width(), h = bitmap->Height();
  const std::vector<int> bytes = FlaggedBytes(flag1, flag2, flag3);
  const TTrigFamily family =
      Transform == kLogDct || Transform == kIdctExp ? TTrigFamily::Cosine : TTrigFamily::Sine;
  if (Transform == kLogDct || Transform == kLogDst) {
    TPlanes planes = ReadPlanes(*bitmap, ForwardValue);
    TPlaneTransform transform(*this, bytes, w, h, family, false);
    transform.Rows(planes);
    transform.Columns(planes);
    ForEachValue(planes, Compressed);
    WritePlanes(planes, *bitmap, ForwardByte);
  } else {
    TPlanes planes = ReadPlanes(*bitmap, InverseValue);
    ForEachValue(planes, Expanded);
    TPlaneTransform transform(*this, bytes, w, h, family, true);
    transform.Columns(planes);
    transform.Rows(planes);
    WritePlanes(planes, *bitmap, InverseByte);
  }
}

}  // namespace imvora
