#include "filters/2DCleaner.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "core/Filtering.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imvora {
namespace {

// The window of one value, clipped at the plane's edges, scanned row by row. Sums are 64-bit:
// a window covering a large picture holds more than 2^31 / 255 values.
std::uint8_t CleanValue(const std::uint8_t* plane, int width, int height, int x, int y, int r,
                        int threshold) {
  const int centre = plane[static_cast<std::size_t>(y) * width + x];
  std::int64_t sum = 0, count = 0;
  for (int yy = std::max(0, y - r); yy <= std::min(height - 1, y + r); ++yy) {
    const std::uint8_t* row = plane + static_cast<std::size_t>(yy) * width;
    for (int xx = std::max(0, x - r); xx <= std::min(width - 1, x + r); ++xx) {
      if (std::abs(row[xx] - centre) <= threshold) {
        sum += row[xx];
        ++count;
      }
    }
  }
  return static_cast<std::uint8_t>(sum / count);
}

void CleanRowPlainly(const std::uint8_t* plane, int width, int height, int y, int begin, int end,
                     int r, int threshold, std::uint8_t* out) {
  for (int x = begin; x < end; ++x) out[x] = CleanValue(plane, width, height, x, y, r, threshold);
}

#if defined(__SSE2__)

constexpr int kLanes = 16;

// Running totals of sixteen windows side by side. Each tap adds to 8-bit counts and 16-bit
// sums, which are widened into the 32-bit totals before 255 taps could overflow them.
class TWindowSums {
 public:
  explicit TWindowSums(int threshold)
      : limit_(_mm_set1_epi8(static_cast<char>(std::min(threshold, 255)))) {}

  void Tap(__m128i centre, __m128i value) {
    const __m128i difference =
        _mm_or_si128(_mm_subs_epu8(value, centre), _mm_subs_epu8(centre, value));
    const __m128i near = _mm_cmpeq_epi8(_mm_min_epu8(difference, limit_), difference);
    const __m128i kept = _mm_and_si128(value, near);
    const __m128i zero = _mm_setzero_si128();
    counts8_ = _mm_sub_epi8(counts8_, near);
    sumsLow16_ = _mm_add_epi16(sumsLow16_, _mm_unpacklo_epi8(kept, zero));
    sumsHigh16_ = _mm_add_epi16(sumsHigh16_, _mm_unpackhi_epi8(kept, zero));
    if (++pending_ == 255) Flush();
  }

  void Flush() {
    const __m128i zero = _mm_setzero_si128();
    const __m128i countsLow16 = _mm_unpacklo_epi8(counts8_, zero);
    const __m128i countsHigh16 = _mm_unpackhi_epi8(counts8_, zero);
    Widen(sumsLow16_, sums_[0], sums_[1]);
    Widen(sumsHigh16_, sums_[2], sums_[3]);
    Widen(countsLow16, counts_[0], counts_[1]);
    Widen(countsHigh16, counts_[2], counts_[3]);
    counts8_ = sumsLow16_ = sumsHigh16_ = zero;
    pending_ = 0;
  }

  // The truncated means; call after Flush.
  void StoreMeans(std::uint8_t* out) const {
    alignas(16) std::int32_t sums[kLanes], counts[kLanes];
    for (int k = 0; k < 4; ++k) {
      _mm_store_si128(reinterpret_cast<__m128i*>(sums + 4 * k), sums_[k]);
      _mm_store_si128(reinterpret_cast<__m128i*>(counts + 4 * k), counts_[k]);
    }
    for (int i = 0; i < kLanes; ++i) out[i] = static_cast<std::uint8_t>(sums[i] / counts[i]);
  }

 private:
  static void Widen(__m128i words, __m128i& low, __m128i& high) {
    const __m128i zero = _mm_setzero_si128();
    low = _mm_add_epi32(low, _mm_unpacklo_epi16(words, zero));
    high = _mm_add_epi32(high, _mm_unpackhi_epi16(words, zero));
  }

  __m128i limit_;
  __m128i counts8_ = _mm_setzero_si128();
  __m128i sumsLow16_ = _mm_setzero_si128(), sumsHigh16_ = _mm_setzero_si128();
  __m128i sums_[4] = {}, counts_[4] = {};
  int pending_ = 0;
};

__m128i Load16(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Centres x ... x + 15 of row y, whose window rows lie wholly inside the plane.
void CleanSixteen(const std::uint8_t* plane, int width, int height, int x, int y, int r,
                  int threshold, std::uint8_t* out) {
  const __m128i centre = Load16(plane + static_cast<std::size_t>(y) * width + x);
  TWindowSums sums(threshold);
  for (int yy = std::max(0, y - r); yy <= std::min(height - 1, y + r); ++yy) {
    const std::uint8_t* row = plane + static_cast<std::size_t>(yy) * width + x;
    for (int dx = -r; dx <= r; ++dx) sums.Tap(centre, Load16(row + dx));
  }
  sums.Flush();
  sums.StoreMeans(out + x);
}

// 32-bit totals hold every window whose values sum below 2^31.
bool FitsVectorTotals(int r) {
  const std::int64_t side = 2 * std::int64_t{r} + 1;
  return 255 * side * side < (std::int64_t{1} << 31);
}

void CleanRowInVectors(const std::uint8_t* plane, int width, int height, int y, int r,
                       int threshold, std::uint8_t* out) {
  int x = r;
  for (; x + kLanes <= width - r; x += kLanes) {
    CleanSixteen(plane, width, height, x, y, r, threshold, out);
  }
  CleanRowPlainly(plane, width, height, y, 0, std::min(r, width), r, threshold, out);
  CleanRowPlainly(plane, width, height, y, std::max(x, std::min(r, width)), width, r, threshold,
                  out);
}

#endif

}  // namespace

TYuv RgbToYuv(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const long double r = red, g = green, b = blue;
  return {ToByte(0.299 * r + 0.587 * g + 0.114 * b + 0.5),
          ToByte(-0.147 * r - 0.289 * g + 0.436 * b + 128),
          ToByte(0.492 * r - 0.412 * g - 0.08 * b + 128)};
}

void YuvToRgb(const TYuv& yuv, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue) {
  const long double y = yuv.Y, u = yuv.U - 128, v = yuv.V - 128;
  red = ToByte(y + 1.425 * v);
  green = ToByte(y - 0.395 * u - 0.72625 * v);
  blue = ToByte(y + 2.032 * u);
}

void CleanPlane(const std::uint8_t* plane, int width, int height, std::int32_t radius,
                std::int32_t threshold, std::uint8_t* out, [[maybe_unused]] TCleanerScan scan,
                const std::function<void(int)>& beforeRow) {
  if (width <= 0 || height <= 0) return;
  // A window reaching past every edge holds no more than one that just covers the plane.
  const int r = std::clamp(radius, 0, std::max(width, height) - 1);
  const int t = std::max(threshold, 0);
  for (int y = 0; y < height; ++y) {
    if (beforeRow) beforeRow(y);
    std::uint8_t* row = out + static_cast<std::size_t>(y) * width;
#if defined(__SSE2__)
    if (scan == TCleanerScan::Vector && FitsVectorTotals(r)) {
      CleanRowInVectors(plane, width, height, y, r, t, row);
      continue;
    }
#endif
    CleanRowPlainly(plane, width, height, y, 0, width, r, t, row);
  }
}

T2DCleanerFilter::T2DCleanerFilter() {
  Name = "2DCleaner";
  AddParam(TParam::Integer("Радиус фильтрации:", Radius).AtLeast(1));
  AddParam(TParam::Integer("Порог:", Threshold).AtLeast(0));
}

void T2DCleanerFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 && flag2 && flag3) || bitmap->Empty()) return;
  const int w = bitmap->Width(), h = bitmap->Height();
  const std::size_t size = static_cast<std::size_t>(w) * h;
  std::array<std::vector<std::uint8_t>, 3> components, cleaned;
  for (int c = 0; c < 3; ++c) {
    components[c].resize(size);
    cleaned[c].resize(size);
  }
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* p = bitmap->ScanLine(y);
    const std::size_t row = static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x, p += 3) {
      const TYuv yuv = RgbToYuv(p[2], p[1], p[0]);
      components[0][row + x] = yuv.Y;
      components[1][row + x] = yuv.U;
      components[2][row + x] = yuv.V;
    }
  }
  for (int c = 0; c < 3; ++c) {
    CleanPlane(components[c].data(), w, h, Radius, Threshold, cleaned[c].data(), Scan,
               [&](int y) { ReportProgress(std::int64_t{c} * h + y, 3 * std::int64_t{h}); });
  }
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = bitmap->ScanLine(y);
    const std::size_t row = static_cast<std::size_t>(y) * w;
    for (int x = 0; x < w; ++x, p += 3) {
      const std::size_t i = row + x;
      YuvToRgb({cleaned[0][i], cleaned[1][i], cleaned[2][i]}, p[2], p[1], p[0]);
    }
  }
}

}  // namespace imvora
