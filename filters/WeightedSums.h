#pragma once

#include <cstddef>
#include <cstdint>

namespace imvora {

// Vector width of the row sums: SSE2 (two doubles) runs everywhere, AVX2 (four doubles) where
// the processor has it. Both give the same bytes; tests run both.
enum class TLaneWidth { Sse2, Avx2 };
TLaneWidth WidestLanes();

// For i = begin ... end - 1: out[i] = the byte of s / divisor limited to 0 ... 255 and
// truncated toward zero, where s = Σ over k = 0 ... taps - 1, in that order, of w[k] ·
// rows[k][i], started at 0 and kept in double precision. Many outputs are summed side by side,
// each in its own order, so every byte is the one the sum pixel by pixel gives. A divisor of 1
// divides nothing (x / 1 is x).
void WeightedRowSums(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, double divisor, std::uint8_t* out, TLaneWidth lanes);
void WeightedRowSums(const double* w, int taps, const std::uint8_t* const* rows,
                     std::ptrdiff_t begin, std::ptrdiff_t end, double divisor, std::uint8_t* out,
                     TLaneWidth lanes);

// Two rows of WeightedRowSums with the divisor 1 at once: out0 from rows[0 ... taps - 1] and
// out1 from rows[1 ... taps], each row read once for both.
void WeightedRowSumPairs(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                         std::ptrdiff_t end, std::uint8_t* out0, std::uint8_t* out1,
                         TLaneWidth lanes);

}  // namespace imvora
