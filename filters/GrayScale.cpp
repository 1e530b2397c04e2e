#include "filters/GrayScale.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "core/Filtering.h"
#include "core/RowBands.h"

namespace imvora {
namespace {

// The luminance level in integers. With the weights 0.114, 0.587 and 0.299 written as
// k / 1000 − D / (1000 · 2^56), where D = -296, 2432 and 864 are the exact differences of the
// double weights from the decimal ones, the extended-precision sum of the three products is
// (N − E / 2^56) / 1000 with N = 114 b + 587 g + 299 r and E = -296 b + 2432 g + 864 r, |E| far
// below 2^56. Its integer part is therefore (N − 1) / 1000 when E > 0 and N / 1000 otherwise.
// E / 8 has the sign of E.
int LuminanceInIntegers(int blue, int green, int red) {
  const int n = 114 * blue + 587 * green + 299 * red;
  const int e = -37 * blue + 304 * green + 108 * red;
  return (n - (e > 0 ? 1 : 0)) / 1000;
}

int Grey(int method, const std::uint8_t* p) {
  if (method == 0) return LuminanceInIntegers(p[0], p[1], p[2]);
  return method == 1 ? std::min({p[0], p[1], p[2]}) : std::max({p[0], p[1], p[2]});
}

void WriteGrey(std::uint8_t* p, int grey, const bool flagged[3]) {
  for (int c = 0; c < 3; ++c) {
    if (flagged[c]) p[c] = static_cast<std::uint8_t>(grey);
  }
}

// Eight pixels at a time: the two halves of a vector hold four pixels each (bytes 0 ... 11 of
// p and of p + 12); channel C comes out as four 32-bit values per half.
template <int C>
[[gnu::target("avx2")]] inline __m256i Channel(__m256i pixels) {
  const __m256i pick = _mm256_setr_epi8(                                       //
      C, -1, -1, -1, C + 3, -1, -1, -1, C + 6, -1, -1, -1, C + 9, -1, -1, -1,  //
      C, -1, -1, -1, C + 3, -1, -1, -1, C + 6, -1, -1, -1, C + 9, -1, -1, -1);
  return _mm256_shuffle_epi8(pixels, pick);
}

// The luminance of the eight pixels, four 32-bit levels per half.
[[gnu::target("avx2")]] inline __m256i LuminanceLevels(__m256i pixels) {
  const __m256i pairs = _mm256_setr_epi8(  // blue and green as 16-bit neighbours
      0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1,  //
      0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
  const __m256i blueGreen = _mm256_shuffle_epi8(pixels, pairs);
  const __m256i red = Channel<2>(pixels);
  const __m256i n =
      _mm256_add_epi32(_mm256_madd_epi16(blueGreen, _mm256_set1_epi32(587 << 16 | 114)),
                       _mm256_madd_epi16(red, _mm256_set1_epi32(299)));
  const __m256i e =
      _mm256_add_epi32(_mm256_madd_epi16(blueGreen, _mm256_set1_epi32(304 << 16 | (-37 & 0xFFFF))),
                       _mm256_madd_epi16(red, _mm256_set1_epi32(108)));
  const __m256i x = _mm256_add_epi32(n, _mm256_cmpgt_epi32(e, _mm256_setzero_si256()));
  // x / 1000 for 0 <= x < 2^18: (x + 0.5) / 1000 lies at least 0.0005 from an integer, and in
  // single precision within 3.1e-5 of its exact value, so its truncation is the quotient.
  const __m256 quotient = _mm256_mul_ps(_mm256_add_ps(_mm256_cvtepi32_ps(x), _mm256_set1_ps(0.5f)),
                                        _mm256_set1_ps(0.001f));
  return _mm256_cvttps_epi32(quotient);
}

[[gnu::target("avx2")]] inline __m256i GreyLevels(__m256i pixels, int method) {
  if (method == 0) return LuminanceLevels(pixels);
  const __m256i blue = Channel<0>(pixels), green = Channel<1>(pixels), red = Channel<2>(pixels);
  if (method == 1) return _mm256_min_epu8(_mm256_min_epu8(blue, green), red);
  return _mm256_max_epu8(_mm256_max_epu8(blue, green), red);
}

[[gnu::target("avx2")]] int GreyRowAvx2(std::uint8_t* row, int width, int method,
                                        const bool flagged[3]) {
  const __m256i spread = _mm256_setr_epi8(0, 0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1, 0,
                                          0, 0, 4, 4, 4, 8, 8, 8, 12, 12, 12, -1, -1, -1, -1);
  alignas(32) std::int8_t mask[32] = {};
  for (int i = 0; i < 12; ++i) mask[i] = mask[16 + i] = flagged[i % 3] ? -1 : 0;
  const __m256i flaggedBytes = _mm256_load_si256(reinterpret_cast<const __m256i*>(mask));
  int x = 0;
  // Each step reads 28 bytes (its 8 pixels and 4 bytes beyond) and writes its 24 bytes. A write
  // reaching into the next step's bytes would stall that step's read until it is done.
  for (; 3 * x + 28 <= 3 * width; x += 8) {
    std::uint8_t* p = row + 3 * x;
    const __m256i pixels = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 12),
                                               reinterpret_cast<const __m128i*>(p));
    const __m256i grey = _mm256_shuffle_epi8(GreyLevels(pixels, method), spread);
    const __m256i out = _mm256_blendv_epi8(pixels, grey, flaggedBytes);
    const __m128i upper = _mm256_extracti128_si256(out, 1);
    const std::int32_t last = _mm_extract_epi32(upper, 2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(out));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p + 12), upper);
    std::memcpy(p + 20, &last, sizeof last);
  }
  return x;
}

}  // namespace

void GreyRow(std::uint8_t* row, int width, int method, const bool flagged[3], TLaneWidth lanes) {
  int x = 0;
  if (lanes == TLaneWidth::Plain) {
    // As defined: the luminance in extended precision, pixel by pixel.
    for (; x < width; ++x) {
      std::uint8_t* p = row + 3 * x;
      const int grey = method == 0 ? LuminanceLevel(p[0], p[1], p[2]) : Grey(method, p);
      WriteGrey(p, grey, flagged);
    }
    return;
  }
  if (lanes == TLaneWidth::Avx2) x = GreyRowAvx2(row, width, method, flagged);
  for (; x < width; ++x) WriteGrey(row + 3 * x, Grey(method, row + 3 * x), flagged);
}

TGrayScaleFilter::TGrayScaleFilter() {
  Name = "GrayScale";
  AddParam(
      TParam::Choice("Метод фильтрации:", Method, {"по яркости", "по минимуму", "по максимуму"}));
}

void TGrayScaleFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || Method > 2) return;
  const bool flagged[3] = {flag3, flag2, flag1};
  const TLaneWidth lanes = LaneWidth();
  const int method = Method;
  ForEachRowBand(bitmap->Height(), Host, [&](int first, int last) {
    for (int y = first; y < last; ++y)
      GreyRow(bitmap->ScanLine(y), bitmap->Width(), method, flagged, lanes);
  });
}

}  // namespace imvora
