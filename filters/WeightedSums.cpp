#include "filters/WeightedSums.h"

#include <immintrin.h>

#include <cstring>

namespace imvora {
namespace {

typedef double Double2 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));

// Vectors are passed by reference: by value their calling convention would depend on the
// processor's wide registers. Bytes are widened with explicit instructions, which the
// compiler does not find for a conversion of a byte vector.
[[gnu::always_inline]] inline void Load(const double* p, Double2& v) {
  std::memcpy(&v, p, sizeof v);
}

[[gnu::always_inline]] inline void Load(const std::uint8_t* p, Double2& v) {
  std::uint16_t pair;
  std::memcpy(&pair, p, sizeof pair);
  const __m128i zero = _mm_setzero_si128();
  const __m128i words = _mm_unpacklo_epi8(_mm_cvtsi32_si128(pair), zero);
  v = _mm_cvtepi32_pd(_mm_unpacklo_epi16(words, zero));
}

[[gnu::target("avx2")]] inline void Load(const double* p, Double4& v) {
  std::memcpy(&v, p, sizeof v);
}

[[gnu::target("avx2")]] inline void Load(const std::uint8_t* p, Double4& v) {
  std::int32_t quad;
  std::memcpy(&quad, p, sizeof quad);
  v = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(quad)));
}

// Truncates values within 0 ... 255 toward zero and stores them as bytes.
[[gnu::always_inline]] inline void StoreBytes(const Double2& v, std::uint8_t* out) {
  const __m128i ints = _mm_cvttpd_epi32(v);
  const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(ints, ints), ints);
  const std::uint16_t pair = static_cast<std::uint16_t>(_mm_cvtsi128_si32(bytes));
  std::memcpy(out, &pair, sizeof pair);
}

[[gnu::target("avx2")]] inline void StoreBytes(const Double4& v, std::uint8_t* out) {
  const __m128i ints = _mm256_cvttpd_epi32(v);
  const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(ints, ints), ints);
  const std::int32_t quad = _mm_cvtsi128_si32(bytes);
  std::memcpy(out, &quad, sizeof quad);
}

template <class Vec, bool kDivide>
inline void StoreByte(Vec& s, double divisor, std::uint8_t* out) {
  if (kDivide) s /= divisor;
  s = s < 0 ? Vec{} : s;
  s = s > 255 ? Vec{} + 255 : s;
  StoreBytes(s, out);
}

template <bool kDivide>
[[gnu::always_inline]] inline void StoreByte(double s, double divisor, std::uint8_t* out) {
  if (kDivide) s /= divisor;
  s = s < 0 ? 0 : s > 255 ? 255 : s;
  *out = static_cast<std::uint8_t>(s);
}

// Eight accumulators hide the latency of the additions; then single vectors, then single
// values for the tail.
template <class Vec, bool kDivide, class Src>
inline void Sums(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
                 std::ptrdiff_t end, double divisor, std::uint8_t* out) {
  constexpr int kLanes = sizeof(Vec) / sizeof(double);
  constexpr int kBlock = 8 * kLanes;
  std::ptrdiff_t i = begin;
  for (; i + kBlock <= end; i += kBlock) {
    Vec a[8] = {};
    for (int k = 0; k < taps; ++k) {
      const double wk = w[k];
      const Src* s = rows[k] + i;
#pragma GCC unroll 8
      for (int j = 0; j < 8; ++j) {
        Vec v;
        Load(s + j * kLanes, v);
        a[j] += wk * v;
      }
    }
#pragma GCC unroll 8
    for (int j = 0; j < 8; ++j) StoreByte<Vec, kDivide>(a[j], divisor, out + i + j * kLanes);
  }
  for (; i + kLanes <= end; i += kLanes) {
    Vec a = {};
    for (int k = 0; k < taps; ++k) {
      Vec v;
      Load(rows[k] + i, v);
      a += w[k] * v;
    }
    StoreByte<Vec, kDivide>(a, divisor, out + i);
  }
  for (; i < end; ++i) {
    double a = 0;
    for (int k = 0; k < taps; ++k) a += w[k] * rows[k][i];
    StoreByte<kDivide>(a, divisor, out + i);
  }
}

// Two rows of sums: out0 from rows[0 ... taps - 1], out1 from rows[1 ... taps]. Every row
// read serves both, which halves the reads of a vertical pass; each output still adds its
// taps from k = 0 up.
template <class Vec>
inline void SumPairs(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, std::uint8_t* out0, std::uint8_t* out1) {
  constexpr int kLanes = sizeof(Vec) / sizeof(double);
  constexpr int kBlock = 4 * kLanes;
  std::ptrdiff_t i = begin;
  for (; i + kBlock <= end; i += kBlock) {
    Vec a0[4] = {}, a1[4] = {};
    for (int row = 0; row <= taps; ++row) {
      const double* s = rows[row] + i;
      Vec v[4];
#pragma GCC unroll 4
      for (int j = 0; j < 4; ++j) Load(s + j * kLanes, v[j]);
      if (row < taps) {
        const double w0 = w[row];
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) a0[j] += w0 * v[j];
      }
      if (row > 0) {
        const double w1 = w[row - 1];
#pragma GCC unroll 4
        for (int j = 0; j < 4; ++j) a1[j] += w1 * v[j];
      }
    }
#pragma GCC unroll 4
    for (int j = 0; j < 4; ++j) {
      StoreByte<Vec, false>(a0[j], 1.0, out0 + i + j * kLanes);
      StoreByte<Vec, false>(a1[j], 1.0, out1 + i + j * kLanes);
    }
  }
  Sums<Vec, false>(w, taps, rows, i, end, 1.0, out0);
  Sums<Vec, false>(w, taps, rows + 1, i, end, 1.0, out1);
}

[[gnu::flatten]] void SumPairsSse2(const double* w, int taps, const double* const* rows,
                                   std::ptrdiff_t begin, std::ptrdiff_t end, std::uint8_t* out0,
                                   std::uint8_t* out1) {
  SumPairs<Double2>(w, taps, rows, begin, end, out0, out1);
}

[[gnu::target("avx2"), gnu::flatten]] void SumPairsAvx2(const double* w, int taps,
                                                        const double* const* rows,
                                                        std::ptrdiff_t begin, std::ptrdiff_t end,
                                                        std::uint8_t* out0, std::uint8_t* out1) {
  SumPairs<Double4>(w, taps, rows, begin, end, out0, out1);
}

template <class Vec, class Src>
inline void SumsWithDivisor(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
                            std::ptrdiff_t end, double divisor, std::uint8_t* out) {
  if (divisor == 1.0) {
    Sums<Vec, false>(w, taps, rows, begin, end, divisor, out);
  } else {
    Sums<Vec, true>(w, taps, rows, begin, end, divisor, out);
  }
}

template <class Src>
[[gnu::flatten]] void SumsSse2(const double* w, int taps, const Src* const* rows,
                               std::ptrdiff_t begin, std::ptrdiff_t end, double divisor,
                               std::uint8_t* out) {
  SumsWithDivisor<Double2>(w, taps, rows, begin, end, divisor, out);
}

template <class Src>
[[gnu::target("avx2"), gnu::flatten]] void SumsAvx2(const double* w, int taps,
                                                    const Src* const* rows, std::ptrdiff_t begin,
                                                    std::ptrdiff_t end, double divisor,
                                                    std::uint8_t* out) {
  SumsWithDivisor<Double4>(w, taps, rows, begin, end, divisor, out);
}

template <class Src>
void Dispatch(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
              std::ptrdiff_t end, double divisor, std::uint8_t* out, TLaneWidth lanes) {
  if (lanes == TLaneWidth::Avx2) {
    SumsAvx2(w, taps, rows, begin, end, divisor, out);
  } else {
    SumsSse2(w, taps, rows, begin, end, divisor, out);
  }
}

}  // namespace

TLaneWidth WidestLanes() {
  static const TLaneWidth widest =
      __builtin_cpu_supports("avx2") ? TLaneWidth::Avx2 : TLaneWidth::Sse2;
  return widest;
}

void WeightedRowSums(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, double divisor, std::uint8_t* out, TLaneWidth lanes) {
  Dispatch(w, taps, rows, begin, end, divisor, out, lanes);
}

void WeightedRowSums(const double* w, int taps, const std::uint8_t* const* rows,
                     std::ptrdiff_t begin, std::ptrdiff_t end, double divisor, std::uint8_t* out,
                     TLaneWidth lanes) {
  Dispatch(w, taps, rows, begin, end, divisor, out, lanes);
}

void WeightedRowSumPairs(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                         std::ptrdiff_t end, std::uint8_t* out0, std::uint8_t* out1,
                         TLaneWidth lanes) {
  if (lanes == TLaneWidth::Avx2) {
    SumPairsAvx2(w, taps, rows, begin, end, out0, out1);
  } else {
    SumPairsSse2(w, taps, rows, begin, end, out0, out1);
  }
}

}  // namespace imvora
