#include "filters/FFT.h"

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

// A line of length 1 is left untransformed: newmat has no transform of that length.
void TransformRows(TPlanes& planes, const std::vector<int>& bytes, int w, int h, TTrigFamily family,
                   bool inverse) {
  if (w < 2) return;
  for (int c : bytes) TransformLines(family, inverse, {planes[c].data(), h, w, w, 1});
}

void TransformColumns(TPlanes& planes, const std::vector<int>& bytes, int w, int h,
                      TTrigFamily family, bool inverse) {
  if (h < 2) return;
  for (int c : bytes) TransformLines(family, inverse, {planes[c].data(), w, h, 1, w});
}

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
    TransformRows(planes, bytes, w, h, family, false);
    TransformColumns(planes, bytes, w, h, family, false);
    ForEachValue(planes, Compressed);
    WritePlanes(planes, *bitmap, ForwardByte);
  } else {
    TPlanes planes = ReadPlanes(*bitmap, InverseValue);
    ForEachValue(planes, Expanded);
    TransformColumns(planes, bytes, w, h, family, true);
    TransformRows(planes, bytes, w, h, family, true);
    WritePlanes(planes, *bitmap, InverseByte);
  }
}

}  // namespace imvora
