#pragma once

#include <cstddef>
#include <cstdint>

#include "core/Lanes.h"

namespace imvora {

// Row kernels over interleaved pixels of three bytes. They change only the bytes whose flag is
// set; the flags are in byte order (blue, green, red), and `bytes` is a whole number of pixels.

// Every flagged byte becomes its complement.
void InvertRow(std::uint8_t* row, std::ptrdiff_t bytes, const bool flagged[3], TLaneWidth lanes);

// Every flagged byte a[i] of channel c becomes scale · a[i] − b[i] + offsets[c], computed in
// integers and limited to 0 ... 255. scale is 1 or 2.
void DifferenceRow(std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t bytes, int scale,
                   const int offsets[3], const bool flagged[3], TLaneWidth lanes);

// Adds the bytes of each channel of the row to sums (in byte order: blue, green, red).
void AddChannelSums(const std::uint8_t* row, std::ptrdiff_t bytes, std::uint64_t sums[3],
                    TLaneWidth lanes);

}  // namespace imvora
