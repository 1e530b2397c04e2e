#pragma once

#include <cstdint>
#include <vector>

#include "core/Raster.h"

namespace imvora {

// One byte of every pixel of a 24-bit bitmap as a contiguous plane of width*height bytes,
// so that the window filters run over plain rows instead of 3-byte strides.
void ExtractChannel(const TBitmap& bitmap, int byte, std::vector<std::uint8_t>& plane);
void StoreChannel(const std::vector<std::uint8_t>& plane, TBitmap& bitmap, int byte);

// The pixel bytes of the flagged channels: channel 1 is byte 2 (red), channel 3 byte 0 (blue).
std::vector<int> FlaggedBytes(bool flag1, bool flag2, bool flag3);

}  // namespace imvora
