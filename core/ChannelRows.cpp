#include "core/ChannelRows.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace imvora {
namespace {

template <int N>
struct TByteVector {
  typedef std::uint8_t Type __attribute__((vector_size(N)));
};

// A block of three vectors of N bytes holds a whole number of pixels: byte i of vector j of
// every block belongs to channel (j N + i) mod 3.
template <int N>
[[gnu::always_inline]] inline std::ptrdiff_t InvertBlocks(std::uint8_t* row, std::ptrdiff_t bytes,
                                                          const bool flagged[3]) {
  using Bytes = typename TByteVector<N>::Type;
  Bytes pattern[3];
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < N; ++i) pattern[j][i] = flagged[(j * N + i) % 3] ? 0xFF : 0;
  }
  std::ptrdiff_t i = 0;
  for (; i + 3 * N <= bytes; i += 3 * N) {
    for (int j = 0; j < 3; ++j) {
      Bytes v;
      std::memcpy(&v, row + i + j * N, N);
      v ^= pattern[j];
      std::memcpy(row + i + j * N, &v, N);
    }
  }
  return i;
}

// The 16-bit patterns of DifferenceRow for steps of `step` bytes, three steps to a block of
// whole pixels: the offsets limited to ±1024 (scale · a − b lies within -255 ... 510, so larger
// offsets limit every result alike) and -1 where a byte is left as it is.
struct TDifferencePattern {
  alignas(32) std::int16_t Offset[3][16];
  alignas(32) std::int16_t Keep[3][16];
  TDifferencePattern(int step, const int offsets[3], const bool flagged[3]) {
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < step; ++i) {
        const int c = (j * step + i) % 3;
        Offset[j][i] = static_cast<std::int16_t>(std::clamp(offsets[c], -1024, 1024));
        Keep[j][i] = flagged[c] ? 0 : -1;
      }
    }
  }
};

std::ptrdiff_t DifferenceSse2(std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t bytes,
                              int scale, const int offsets[3], const bool flagged[3]) {
  const TDifferencePattern pattern(8, offsets, flagged);
  const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi16(255);
  std::ptrdiff_t i = 0;
  for (; i + 24 <= bytes; i += 24) {
    for (int j = 0; j < 3; ++j) {
      std::uint8_t* p = a + i + 8 * j;
      const __m128i x =
          _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
      const __m128i y =
          _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + i + 8 * j)), zero);
      const __m128i offset = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern.Offset[j]));
      const __m128i keep = _mm_load_si128(reinterpret_cast<const __m128i*>(pattern.Keep[j]));
      __m128i d = _mm_add_epi16(_mm_sub_epi16(scale == 2 ? _mm_add_epi16(x, x) : x, y), offset);
      d = _mm_min_epi16(_mm_max_epi16(d, zero), top);
      d = _mm_or_si128(_mm_and_si128(keep, x), _mm_andnot_si128(keep, d));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(d, d));
    }
  }
  return i;
}

[[gnu::target("avx2")]] std::ptrdiff_t DifferenceAvx2(std::uint8_t* a, const std::uint8_t* b,
                                                      std::ptrdiff_t bytes, int scale,
                                                      const int offsets[3], const bool flagged[3]) {
  const TDifferencePattern pattern(16, offsets, flagged);
  const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi16(255);
  std::ptrdiff_t i = 0;
  for (; i + 48 <= bytes; i += 48) {
    for (int j = 0; j < 3; ++j) {
      std::uint8_t* p = a + i + 16 * j;
      const __m256i x = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
      const __m256i y =
          _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + 16 * j)));
      const __m256i offset = _mm256_load_si256(reinterpret_cast<const __m256i*>(pattern.Offset[j]));
      const __m256i keep = _mm256_load_si256(reinterpret_cast<const __m256i*>(pattern.Keep[j]));
      __m256i d =
          _mm256_add_epi16(_mm256_sub_epi16(scale == 2 ? _mm256_add_epi16(x, x) : x, y), offset);
      d = _mm256_min_epi16(_mm256_max_epi16(d, zero), top);
      d = _mm256_blendv_epi8(d, x, keep);
      const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(d, d), 0x08);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm256_castsi256_si128(packed));
    }
  }
  return i;
}

void InvertPlain(std::uint8_t* row, std::ptrdiff_t begin, std::ptrdiff_t bytes,
                 const bool flagged[3]) {
  for (std::ptrdiff_t i = begin; i < bytes; ++i) {
    if (flagged[i % 3]) row[i] = static_cast<std::uint8_t>(255 - row[i]);
  }
}

void DifferencePlain(std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t begin,
                     std::ptrdiff_t bytes, int scale, const int offsets[3], const bool flagged[3]) {
  for (std::ptrdiff_t i = begin; i < bytes; ++i) {
    const int c = static_cast<int>(i % 3);
    if (!flagged[c]) continue;
    const std::int64_t d = std::int64_t{scale} * a[i] - b[i] + offsets[c];
    a[i] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(d, 0, 255));
  }
}

std::ptrdiff_t InvertSse2(std::uint8_t* row, std::ptrdiff_t bytes, const bool flagged[3]) {
  return InvertBlocks<16>(row, bytes, flagged);
}

[[gnu::target("avx2")]] std::ptrdiff_t InvertAvx2(std::uint8_t* row, std::ptrdiff_t bytes,
                                                  const bool flagged[3]) {
  return InvertBlocks<32>(row, bytes, flagged);
}

// The sums of the bytes of each channel in blocks of three vectors, by sums of absolute
// differences from zero of the bytes each channel's mask keeps.
std::ptrdiff_t ChannelSumsSse2(const std::uint8_t* row, std::ptrdiff_t bytes,
                               std::uint64_t sums[3]) {
  alignas(16) std::uint8_t masks[3][3][16];
  for (int c = 0; c < 3; ++c) {
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 16; ++i) masks[c][j][i] = (16 * j + i) % 3 == c ? 0xFF : 0;
    }
  }
  __m128i totals[3] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
  std::ptrdiff_t i = 0;
  for (; i + 48 <= bytes; i += 48) {
    for (int j = 0; j < 3; ++j) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i + 16 * j));
      for (int c = 0; c < 3; ++c) {
        const __m128i mask = _mm_load_si128(reinterpret_cast<const __m128i*>(masks[c][j]));
        totals[c] =
            _mm_add_epi64(totals[c], _mm_sad_epu8(_mm_and_si128(v, mask), _mm_setzero_si128()));
      }
    }
  }
  for (int c = 0; c < 3; ++c) {
    alignas(16) std::uint64_t halves[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(halves), totals[c]);
    sums[c] += halves[0] + halves[1];
  }
  return i;
}

}  // namespace

void AddChannelSums(const std::uint8_t* row, std::ptrdiff_t bytes, std::uint64_t sums[3],
                    TLaneWidth lanes) {
  const std::ptrdiff_t done = lanes == TLaneWidth::Plain ? 0 : ChannelSumsSse2(row, bytes, sums);
  for (std::ptrdiff_t i = done; i < bytes; ++i) sums[i % 3] += row[i];
}

void InvertRow(std::uint8_t* row, std::ptrdiff_t bytes, const bool flagged[3], TLaneWidth lanes) {
  std::ptrdiff_t done = 0;
  if (lanes == TLaneWidth::Avx2) done = InvertAvx2(row, bytes, flagged);
  if (lanes == TLaneWidth::Sse2) done = InvertSse2(row, bytes, flagged);
  InvertPlain(row, done, bytes, flagged);
}

void DifferenceRow(std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t bytes, int scale,
                   const int offsets[3], const bool flagged[3], TLaneWidth lanes) {
  std::ptrdiff_t done = 0;
  if (lanes == TLaneWidth::Avx2) done = DifferenceAvx2(a, b, bytes, scale, offsets, flagged);
  if (lanes == TLaneWidth::Sse2) done = DifferenceSse2(a, b, bytes, scale, offsets, flagged);
  DifferencePlain(a, b, done, bytes, scale, offsets, flagged);
}

}  // namespace imvora
