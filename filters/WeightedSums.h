#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Lanes.h"

namespace imvora {

// For i = begin ... end - 1: out[i] = the byte of s / divisor limited to 0 ... 255 and
// truncated toward zero, where s = Σ over k = 0 ... taps - 1, in that order, of w[k] ·
// rows[k][i], started at 0 and kept in double precision. The rows hold byte values 0 ... 255. Many
// outputs are summed side by side, each in its own order, so every byte is the one the sum pixel by
// pixel gives. A divisor of 1 divides nothing (x / 1 is x).
void WeightedRowSums(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, double divisor, std::uint8_t* out, TLaneWidth lanes);
void WeightedRowSums(const double* w, int taps, const std::uint8_t* const* rows,
                     std::ptrdiff_t begin, std::ptrdiff_t end, double divisor, std::uint8_t* out,
                     TLaneWidth lanes);
void WeightedRowSums(const double* w, int taps, const float* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, double divisor, std::uint8_t* out, TLaneWidth lanes);
// The same bytes stored as floats, for a pass that the next one reads (exact: they are whole
// numbers below 256, and floats take half the room of doubles).
void WeightedRowSums(const double* w, int taps, const double* const* rows, std::ptrdiff_t begin,
                     std::ptrdiff_t end, double divisor, float* out, TLaneWidth lanes);

// count consecutive rows of WeightedRowSums with the divisor 1, two at a time: out[r] from
// rows[r ... r + taps - 1], each row read once for both outputs it serves.
void WeightedRowSumRows(const double* w, int taps, const float* const* rows, std::ptrdiff_t begin,
                        std::ptrdiff_t end, std::uint8_t* const* out, int count, TLaneWidth lanes);
void WeightedRowSumRows(const double* w, int taps, const std::uint8_t* const* rows,
                        std::ptrdiff_t begin, std::ptrdiff_t end, std::uint8_t* const* out,
                        int count, TLaneWidth lanes);

// out[i] = in[i] for i = 0 ... count - 1.
void WidenBytes(const std::uint8_t* in, std::ptrdiff_t count, double* out, TLaneWidth lanes);

}  // namespace imvora
