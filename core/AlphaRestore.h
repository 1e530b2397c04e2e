#pragma once

#include <string>

#include "core/Raster.h"

namespace imvora {

// Reconstructs colour and opacity from two renderings of one picture over two uniform
// backgrounds (each taken from the picture's top-left pixel). The result is 32-bit, of the
// overlapping size; all zero when the backgrounds agree in any channel.
TBitmap RestoreAlpha(const TBitmap& first, const TBitmap& second);

// Loads both inputs (a missing or unreadable file is an error), restores the alpha channel and
// writes a 32-bit bitmap file to `output` whatever its extension.
void RestoreAlphaFiles(const std::string& first, const std::string& second,
                       const std::string& output);

}  // namespace imvora
