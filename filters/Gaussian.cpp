#include "filters/Gaussian.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/Error.h"
#include "core/TextConvert.h"
#include "filters/DoubleLanes.h"
#include "filters/Mirror.h"

namespace imvora {
namespace {

using lanes::Double4;

// exp of an argument below this is 0 in double precision: the exact value lies under half the
// smallest subnormal, so the rounded result is 0.
constexpr double kExpUnderflow = -746.0;

// out[i] = Σ over k = 0 ... taps - 1, in that order, of w[k] · rows[k][i], each sum started at
// 0 and kept in double precision, truncated to a byte. Sixteen outputs are summed side by side
// so that the weights and the accumulators stay in registers; every output keeps its own
// order of summation, so the result is that of summing pixel by pixel.
template <class Src>
void WeightedSum(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
                 std::ptrdiff_t end, std::uint8_t* out) {
  std::ptrdiff_t i = begin;
  for (; i + 16 <= end; i += 16) {
    Double4 a0{}, a1{}, a2{}, a3{}, v0, v1, v2, v3;
    for (int k = 0; k < taps; ++k) {
      const double wk = w[k];
      const Src* s = rows[k] + i;
      lanes::Load(s, v0);
      lanes::Load(s + 4, v1);
      lanes::Load(s + 8, v2);
      lanes::Load(s + 12, v3);
      a0 += wk * v0;
      a1 += wk * v1;
      a2 += wk * v2;
      a3 += wk * v3;
    }
    lanes::StoreBytes(a0, out + i);
    lanes::StoreBytes(a1, out + i + 4);
    lanes::StoreBytes(a2, out + i + 8);
    lanes::StoreBytes(a3, out + i + 12);
  }
  for (; i < end; ++i) {
    double a = 0;
    for (int k = 0; k < taps; ++k) a += w[k] * rows[k][i];
    out[i] = static_cast<std::uint8_t>(a);
  }
}

// Horizontal pass of every row of source into t, all three bytes. Each row is first laid out
// with its mirrored borders as doubles, so tap k of byte i reads element i + 3k.
void HorizontalPass(const TBitmap& source, const std::vector<double>& w, TBitmap& t) {
  const int width = source.Width();
  const int half = static_cast<int>(w.size() / 2);
  const int taps = static_cast<int>(w.size());
  const std::vector<int> columns = MirrorTable(-half, width + 2 * std::int64_t{half}, width);
  std::vector<double> extended(3 * columns.size());
  std::vector<const double*> tapRows(taps);
  for (int k = 0; k < taps; ++k) tapRows[k] = extended.data() + 3 * std::size_t(k);
  for (int y = 0; y < source.Height(); ++y) {
    const std::uint8_t* row = source.ScanLine(y);
    for (std::size_t j = 0; j < columns.size(); ++j) {
      const std::uint8_t* p = row + 3 * columns[j];
      extended[3 * j] = p[0];
      extended[3 * j + 1] = p[1];
      extended[3 * j + 2] = p[2];
    }
    WeightedSum(w.data(), taps, tapRows.data(), 0, 3 * std::ptrdiff_t{width}, t.ScanLine(y));
  }
}

// Vertical pass of t into the flagged bytes of destination. The rows are worked in strips of
// columns narrow enough for all the rows of one kernel window to stay in the cache.
void VerticalPass(const TBitmap& t, const std::vector<double>& w, const bool flagged[3],
                  TBitmap& destination) {
  const int height = t.Height();
  const int half = static_cast<int>(w.size() / 2);
  const int taps = static_cast<int>(w.size());
  const std::vector<int> rowsOfTap = MirrorTable(-half, height + 2 * std::int64_t{half}, height);
  std::vector<const std::uint8_t*> rows(rowsOfTap.size());
  for (std::size_t j = 0; j < rows.size(); ++j) rows[j] = t.ScanLine(rowsOfTap[j]);
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{t.Width()};
  const std::ptrdiff_t strip = std::max<std::ptrdiff_t>(48, (256 * 1024 / taps) / 48 * 48);
  std::vector<std::uint8_t> sums(rowBytes);
  for (std::ptrdiff_t begin = 0; begin < rowBytes; begin += strip) {
    const std::ptrdiff_t end = std::min(rowBytes, begin + strip);
    for (int y = 0; y < height; ++y) {
      WeightedSum(w.data(), taps, rows.data() + y, begin, end, sums.data());
      std::uint8_t* out = destination.ScanLine(y);
      for (std::ptrdiff_t i = begin; i < end; i += 3) {
        if (flagged[0]) out[i] = sums[i];
        if (flagged[1]) out[i + 1] = sums[i + 1];
        if (flagged[2]) out[i + 2] = sums[i + 2];
      }
    }
  }
}

}  // namespace

std::vector<double> GaussKernel(std::int32_t radius, double sigma) {
  const double twoSigmaSquared = 2 * sigma * sigma;
  auto argument = [twoSigmaSquared](std::int64_t i) {
    return -static_cast<double>(i * i) / twoSigmaSquared;
  };
  // The argument falls as |i| grows, so the weights that are exactly 0 form the two tails.
  std::int64_t half = 0;
  while (half < radius && argument(half + 1) >= kExpUnderflow) {
    if (++half > kMaxGaussHalfWidth) {
      throw EImvoraError("Слишком большое ядро размытия: радиус " + std::to_string(radius) +
                         " при силе размытия " + FormatReal(sigma, "%g") + " даёт больше " +
                         std::to_string(kMaxGaussHalfWidth) +
                         " значимых отсчётов в каждую сторону");
    }
  }
  std::vector<double> w(2 * half + 1);
  for (std::int64_t i = -half; i <= half; ++i) w[i + half] = std::exp(argument(i));
  double sum = 0;
  for (double weight : w) sum += weight;
  for (double& weight : w) weight /= sum;
  return w;
}

void GaussBlur(const TBitmap* source, TBitmap* destination, std::int32_t radius, double sigma,
               bool flag1, bool flag2, bool flag3) {
  if (source == nullptr || destination == nullptr || !(flag1 || flag2 || flag3)) return;
  if (!(sigma >= 1e-10) || source->BitsPerPixel() != 24) return;
  const std::vector<double> w = GaussKernel(std::max(radius, 0), sigma);
  if (destination != source) *destination = *source;
  if (source->Empty()) return;
  TBitmap t(source->Width(), source->Height());
  HorizontalPass(*source, w, t);
  const bool flagged[3] = {flag3, flag2, flag1};
  VerticalPass(t, w, flagged, *destination);
}

TGaussFilter::TGaussFilter(const char* name, std::int32_t radius, double sigma)
    : Radius(radius), Sigma(sigma) {
  Name = name;
  AddParam(TParam::Integer("Радиус размытия:", Radius).AtLeast(1));
  AddParam(TParam::Real("Сила размытия:", Sigma, "%g"));
}

void TGaussFilter::Blur(const TBitmap* source, TBitmap* destination, bool flag1, bool flag2,
                        bool flag3) const {
  GaussBlur(source, destination, Radius, Sigma, flag1, flag2, flag3);
}

void TGaussFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  Blur(bitmap, bitmap, flag1, flag2, flag3);
}

}  // namespace imvora
