#include "filters/Gaussian.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/Error.h"
#include "core/TextConvert.h"
#include "filters/Mirror.h"
#include "filters/WeightedSums.h"

namespace imvora {
namespace {

// exp of an argument below this is 0 in double precision: the exact value lies under half the
// smallest subnormal, so the rounded result is 0.
constexpr double kExpUnderflow = -746.0;

// Horizontal pass of every row of source into t, all three bytes. Each row is first laid out
// with its mirrored borders as doubles, so tap k of byte i reads element i + 3k.
void HorizontalPass(const TBitmap& source, const std::vector<double>& w, TBitmap& t,
                    TLaneWidth lanes) {
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
    WeightedRowSums(w.data(), taps, tapRows.data(), 0, 3 * std::ptrdiff_t{width}, 1.0,
                    t.ScanLine(y), lanes);
  }
}

// Copies the flagged bytes of sums[begin, end) into row.
void WriteFlagged(const std::uint8_t* sums, std::ptrdiff_t begin, std::ptrdiff_t end,
                  const bool flagged[3], std::uint8_t* row) {
  for (std::ptrdiff_t i = begin; i < end; i += 3) {
    if (flagged[0]) row[i] = sums[i];
    if (flagged[1]) row[i + 1] = sums[i + 1];
    if (flagged[2]) row[i + 2] = sums[i + 2];
  }
}

// Width in bytes (a whole number of pixels) of the column strips of the vertical pass: all the
// rows of one kernel window, as bytes or as doubles, stay in the cache.
std::ptrdiff_t StripBytes(std::ptrdiff_t windowBytes, int taps, std::size_t elementSize) {
  return std::max<std::ptrdiff_t>(48, windowBytes / (taps * std::ptrdiff_t(elementSize)) / 48 * 48);
}

// Vertical pass of t into the flagged bytes of destination, reading the bytes of t directly.
void VerticalPassOnBytes(const TBitmap& t, const std::vector<double>& w,
                         const std::vector<int>& rowOfTap, const bool flagged[3],
                         TBitmap& destination, TLaneWidth lanes) {
  const int taps = static_cast<int>(w.size());
  std::vector<const std::uint8_t*> rows(rowOfTap.size());
  for (std::size_t j = 0; j < rows.size(); ++j) rows[j] = t.ScanLine(rowOfTap[j]);
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{t.Width()};
  const std::ptrdiff_t strip = StripBytes(256 * 1024, taps, 1);
  std::vector<std::uint8_t> sums(rowBytes);
  for (std::ptrdiff_t begin = 0; begin < rowBytes; begin += strip) {
    const std::ptrdiff_t end = std::min(rowBytes, begin + strip);
    for (int y = 0; y < t.Height(); ++y) {
      WeightedRowSums(w.data(), taps, rows.data() + y, begin, end, 1.0, sums.data(), lanes);
      WriteFlagged(sums.data(), begin, end, flagged, destination.ScanLine(y));
    }
  }
}

// The same, with every strip of t converted to doubles once rather than once per tap.
void VerticalPassOnDoubles(const TBitmap& t, const std::vector<double>& w,
                           const std::vector<int>& rowOfTap, std::ptrdiff_t strip,
                           const bool flagged[3], TBitmap& destination, TLaneWidth lanes) {
  const int taps = static_cast<int>(w.size());
  const int height = t.Height();
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{t.Width()};
  std::vector<double> converted(static_cast<std::size_t>(height) * strip);
  std::vector<const double*> rows(rowOfTap.size());
  std::vector<std::uint8_t> sums(rowBytes), nextSums(rowBytes);
  for (std::ptrdiff_t begin = 0; begin < rowBytes; begin += strip) {
    const std::ptrdiff_t width = std::min(rowBytes - begin, strip);
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* in = t.ScanLine(y) + begin;
      double* out = converted.data() + static_cast<std::size_t>(y) * width;
      for (std::ptrdiff_t i = 0; i < width; ++i) out[i] = in[i];
    }
    for (std::size_t j = 0; j < rows.size(); ++j) {
      rows[j] = converted.data() + static_cast<std::size_t>(rowOfTap[j]) * width;
    }
    int y = 0;
    for (; y + 1 < height; y += 2) {
      WeightedRowSumPairs(w.data(), taps, rows.data() + y, 0, width, sums.data() + begin,
                          nextSums.data() + begin, lanes);
      WriteFlagged(sums.data(), begin, begin + width, flagged, destination.ScanLine(y));
      WriteFlagged(nextSums.data(), begin, begin + width, flagged, destination.ScanLine(y + 1));
    }
    if (y < height) {
      WeightedRowSums(w.data(), taps, rows.data() + y, 0, width, 1.0, sums.data() + begin, lanes);
      WriteFlagged(sums.data(), begin, begin + width, flagged, destination.ScanLine(y));
    }
  }
}

// Vertical pass of t into the flagged bytes of destination. Short kernels read the bytes;
// longer ones first convert strips of t to doubles, unless a strip of a very tall image would
// need too much memory.
void VerticalPass(const TBitmap& t, const std::vector<double>& w, const bool flagged[3],
                  TBitmap& destination, TLaneWidth lanes) {
  const int height = t.Height();
  const int half = static_cast<int>(w.size() / 2);
  const std::vector<int> rowOfTap = MirrorTable(-half, height + 2 * std::int64_t{half}, height);
  const std::ptrdiff_t strip =
      std::min(StripBytes(192 * 1024, static_cast<int>(w.size()), sizeof(double)),
               3 * std::ptrdiff_t{t.Width()});
  const bool convert = w.size() >= 8 && height * strip <= (std::ptrdiff_t{8} << 20);
  if (convert) {
    VerticalPassOnDoubles(t, w, rowOfTap, strip, flagged, destination, lanes);
  } else {
    VerticalPassOnBytes(t, w, rowOfTap, flagged, destination, lanes);
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
               bool flag1, bool flag2, bool flag3, TLaneWidth lanes) {
  if (source == nullptr || destination == nullptr || !(flag1 || flag2 || flag3)) return;
  if (!(sigma >= 1e-10) || source->BitsPerPixel() != 24) return;
  if (destination != source) *destination = *source;
  // An empty picture has nothing to blur, however wide the kernel would be.
  if (source->Empty()) return;
  const std::vector<double> w = GaussKernel(std::max(radius, 0), sigma);
  TBitmap t(source->Width(), source->Height());
  HorizontalPass(*source, w, t, lanes);
  const bool flagged[3] = {flag3, flag2, flag1};
  VerticalPass(t, w, flagged, *destination, lanes);
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
