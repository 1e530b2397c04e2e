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

// Rows of byte values kept as single-precision floats: half the memory of doubles, exact.
[[gnu::always_inline]] inline void Load(const float* p, Double2& v) {
  v = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
}

[[gnu::target("avx2")]] inline void Load(const float* p, Double4& v) {
  v = _mm256_cvtps_pd(_mm_loadu_ps(p));
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

// The same bytes as doubles, for a pass whose output the next pass reads as doubles.
[[gnu::always_inline]] inline void StoreBytes(const Double2& v, double* out) {
  const __m128d truncated = _mm_cvtepi32_pd(_mm_cvttpd_epi32(v));
  std::memcpy(out, &truncated, sizeof truncated);
}

[[gnu::target("avx2")]] inline void StoreBytes(const Double4& v, double* out) {
  const __m256d truncated = _mm256_round_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  std::memcpy(out, &truncated, sizeof truncated);
}

// How a sum becomes a byte: limited to 0 ... 255, divided and then limited, or only truncated
// when the sums are known to lie within [0, 256), where limiting changes nothing.
enum class TFinish { Limit, DivideAndLimit, InRange };

[[gnu::always_inline]] inline void StoreBytes(const Double2& v, float* out) {
  const __m128 truncated = _mm_cvtpd_ps(_mm_cvtepi32_pd(_mm_cvttpd_epi32(v)));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_castps_si128(truncated));
}

[[gnu::target("avx2")]] inline void StoreBytes(const Double4& v, float* out) {
  _mm_storeu_ps(out, _mm256_cvtpd_ps(_mm256_round_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC)));
}

template <class Vec, TFinish kFinish, class Out>
inline void StoreByte(Vec& s, double divisor, Out* out) {
  if (kFinish == TFinish::DivideAndLimit) s /= divisor;
  if (kFinish != TFinish::InRange) {
    s = s < 0 ? Vec{} : s;
    s = s > 255 ? Vec{} + 255 : s;
  }
  StoreBytes(s, out);
}

template <TFinish kFinish, class Out>
[[gnu::always_inline]] inline void StoreByte(double s, double divisor, Out* out) {
  if (kFinish == TFinish::DivideAndLimit) s /= divisor;
  s = s < 0 ? 0 : s > 255 ? 255 : s;
  *out = static_cast<std::uint8_t>(s);
}

// Weights that are not negative and add up to at most 1 (with room for rounding) keep every
// sum of byte values within [0, 256).
bool KeepsByteRange(const double* w, int taps) {
  long double sum = 0;
  for (int k = 0; k < taps; ++k) {
    if (!(w[k] >= 0)) return false;
    sum += w[k];
  }
  return sum <= 1 + 1e-9L;
}

// Eight accumulators hide the latency of the additions; then single vectors, then single
// values for the tail.
template <class Vec, TFinish kFinish, class Src, class Out>
inline void Sums(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
                 std::ptrdiff_t end, double divisor, Out* out) {
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
    for (int j = 0; j < 8; ++j) StoreByte<Vec, kFinish>(a[j], divisor, out + i + j * kLanes);
  }
  for (; i + kLanes <= end; i += kLanes) {
    Vec a = {};
    for (int k = 0; k < taps; ++k) {
      Vec v;
      Load(rows[k] + i, v);
      a += w[k] * v;
    }
    StoreByte<Vec, kFinish>(a, divisor, out + i);
  }
  for (; i < end; ++i) {
    double a = 0;
    for (int k = 0; k < taps; ++k) a += w[k] * rows[k][i];
    StoreByte<kFinish>(a, divisor, out + i);
  }
}

// kRows (1 or 2) rows of sums at once: out[r] from rows[r ... r + taps - 1]. Every row read
// serves all the outputs it is a tap of, which halves the reads of a vertical pass; each
// output still adds its taps from k = 0 up. Eight accumulators: kRows rows of 8 / kRows
// vectors. (Four rows at a time, with two vectors each, proved slower.)
template <class Vec, TFinish kFinish, int kRows, class Src>
inline void SumRows(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
                    std::ptrdiff_t end, std::uint8_t* const* out) {
  constexpr int kLanes = sizeof(Vec) / sizeof(double);
  constexpr int kVectors = 8 / kRows;
  constexpr int kBlock = kVectors * kLanes;
  std::ptrdiff_t i = begin;
  for (; i + kBlock <= end; i += kBlock) {
    Vec a[kRows][kVectors] = {};
    for (int row = 0; row < taps + kRows - 1; ++row) {
      const Src* s = rows[row] + i;
      Vec v[kVectors];
#pragma GCC unroll 8
      for (int j = 0; j < kVectors; ++j) Load(s + j * kLanes, v[j]);
#pragma GCC unroll 4
      for (int r = 0; r < kRows; ++r) {
        const int k = row - r;
        if (k < 0 || k >= taps) continue;
        const double wk = w[k];
#pragma GCC unroll 8
        for (int j = 0; j < kVectors; ++j) a[r][j] += wk * v[j];
      }
    }
#pragma GCC unroll 4
    for (int r = 0; r < kRows; ++r) {
#pragma GCC unroll 8
      for (int j = 0; j < kVectors; ++j) {
        StoreByte<Vec, kFinish>(a[r][j], 1.0, out[r] + i + j * kLanes);
      }
    }
  }
  for (int r = 0; r < kRows; ++r) Sums<Vec, kFinish>(w, taps, rows + r, i, end, 1.0, out[r]);
}

template <class Vec, int kRows, class Src>
inline void SumRowsFinished(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
                            std::ptrdiff_t end, std::uint8_t* const* out) {
  if (KeepsByteRange(w, taps)) {
    SumRows<Vec, TFinish::InRange, kRows>(w, taps, rows, begin, end, out);
  } else {
    SumRows<Vec, TFinish::Limit, kRows>(w, taps, rows, begin, end, out);
  }
}

template <class Vec, class Src>
inline void SumRowsOf(int count, const double* w, int taps, const Src* const* rows,
                      std::ptrdiff_t begin, std::ptrdiff_t end, std::uint8_t* const* out) {
  int r = 0;
  for (; r + 2 <= count; r += 2) SumRowsFinished<Vec, 2>(w, taps, rows + r, begin, end, out + r);
  if (r < count) SumRowsFinished<Vec, 1>(w, taps, rows + r, begin, end, out + r);
}

template <class Src>
[[gnu::flatten]] void SumRowsSse2(int count, const double* w, int taps, const Src* const* rows,
                                  std::ptrdiff_t begin, std::ptrdiff_t end,
                                  std::uint8_t* const* out) {
  SumRowsOf<Double2>(count, w, taps, rows, begin, end, out);
}

template <class Src>
[[gnu::target("avx2"), gnu::flatten]] void SumRowsAvx2(int count, const double* w, int taps,
                                                       const Src* const* rows, std::ptrdiff_t begin,
                                                       std::ptrdiff_t end,
                                                       std::uint8_t* const* out) {
  SumRowsOf<Double4>(count, w, taps, rows, begin, end, out);
}

template <class Vec, class Src, class Out>
inline void SumsWithDivisor(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
                            std::ptrdiff_t end, double divisor, Out* out) {
  if (divisor != 1.0) {
    Sums<Vec, TFinish::DivideAndLimit>(w, taps, rows, begin, end, divisor, out);
  } else if (KeepsByteRange(w, taps)) {
    Sums<Vec, TFinish::InRange>(w, taps, rows, begin, end, divisor, out);
  } else {
    Sums<Vec, TFinish::Limit>(w, taps, rows, begin, end, divisor, out);
  }
}

template <class Src, class Out>
[[gnu::flatten]] void SumsSse2(const double* w, int taps, const Src* const* rows,
                               std::ptrdiff_t begin, std::ptrdiff_t end, double divisor, Out* out) {
  SumsWithDivisor<Double2>(w, taps, rows, begin, end, divisor, out);
}

template <class Src, class Out>
[[gnu::target("avx2"), gnu::flatten]] void SumsAvx2(const double* w, int taps,
                                                    const Src* const* rows, std::ptrdiff_t begin,
                                                    std::ptrdiff_t end, double divisor, Out* out) {
  SumsWithDivisor<Double4>(w, taps, rows, begin, end, divisor, out);
}

template <class Src, class Out>
void PlainSums(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
               std::ptrdiff_t end, double divisor, Out* out) {
  for (std::ptrdiff_t i = begin; i < end; ++i) {
    double a = 0;
    for (int k = 0; k < taps; ++k) a += w[k] * rows[k][i];
    StoreByte<TFinish::DivideAndLimit>(a, divisor, out + i);
  }
}

template <class Src, class Out>
void Dispatch(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
              std::ptrdiff_t end, double divisor, Out* out, TLaneWidth lanes) {
  if (lanes == TLaneWidth::Avx2) {
    SumsAvx2(w, taps, rows, begin, end, divisor, out);
  } else if (lanes == TLaneWidth::Sse2) {
    SumsSse2(w, taps, rows, begin, end, divisor, out);
  } else {
    PlainSums(w, taps, rows, begin, end, divisor, out);
  }
}

template <class Vec>
[[gnu::always_inline]] inline void Widen(const std::uint8_t* in, std::ptrdiff_t count,
                                         double* out) {
  constexpr int kLanes = sizeof(Vec) / sizeof(double);
  std::ptrdiff_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    Vec v;
    Load(in + i, v);
    std::memcpy(out + i, &v, sizeof v);
  }
  for (; i < count; ++i) out[i] = in[i];
}

void WidenSse2(const std::uint8_t* in, std::ptrdiff_t count, double* out) {
  Widen<Double2>(in, count, out);
}

// Eight bytes at a time: one widening of the bytes, two conversions.
[[gnu::target("avx2")]] void WidenAvx2(const std::uint8_t* in, std::ptrdiff_t count, double* out) {
  std::ptrdiff_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i words =
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + i)));
    _mm256_storeu_pd(out + i, _mm256_cvtepi32_pd(_mm256_castsi256_si128(words)));
    _mm256_storeu_pd(out + i + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(words, 1)));
  }
  for (; i < count; ++i) out[i] = in[i];
}

}  // namespace

void WeightedRowSums(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, double divisor, std::uint8_t* out, TLaneWidth lanes) {
  Dispatch(w, taps, rows, begin, end, divisor, out, lanes);
}

void WeightedRowSums(const double* w, int taps, const std::uint8_t* const* rows,
                     std::ptrdiff_t begin, std::ptrdiff_t end, double divisor, std::uint8_t* out,
                     TLaneWidth lanes) {
  Dispatch(w, taps, rows, begin, end, divisor, out, lanes);
}

void WeightedRowSums(const double* w, int taps, const float* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, double divisor, std::uint8_t* out, TLaneWidth lanes) {
  Dispatch(w, taps, rows, begin, end, divisor, out, lanes);
}

namespace {

template <class Src>
void DispatchRows(const double* w, int taps, const Src* const* rows, std::ptrdiff_t begin,
                  std::ptrdiff_t end, std::uint8_t* const* out, int count, TLaneWidth lanes) {
  if (lanes == TLaneWidth::Avx2) {
    SumRowsAvx2(count, w, taps, rows, begin, end, out);
  } else if (lanes == TLaneWidth::Sse2) {
    SumRowsSse2(count, w, taps, rows, begin, end, out);
  } else {
    for (int r = 0; r < count; ++r) PlainSums(w, taps, rows + r, begin, end, 1.0, out[r]);
  }
}

}  // namespace

void WeightedRowSumRows(const double* w, int taps, const float* const* rows, std::ptrdiff_t begin,
                        std::ptrdiff_t end, std::uint8_t* const* out, int count, TLaneWidth lanes) {
  DispatchRows(w, taps, rows, begin, end, out, count, lanes);
}

void WeightedRowSumRows(const double* w, int taps, const std::uint8_t* const* rows,
                        std::ptrdiff_t begin, std::ptrdiff_t end, std::uint8_t* const* out,
                        int count, TLaneWidth lanes) {
  DispatchRows(w, taps, rows, begin, end, out, count, lanes);
}

void WeightedRowSums(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, double divisor, float* out, TLaneWidth lanes) {
  Dispatch(w, taps, rows, begin, end, divisor, out, lanes);
}

void WidenBytes(const std::uint8_t* in, std::ptrdiff_t count, double* out, TLaneWidth lanes) {
  if (lanes == TLaneWidth::Avx2) {
    WidenAvx2(in, count, out);
  } else {
    WidenSse2(in, count, out);
  }
}

}  // namespace imvora
