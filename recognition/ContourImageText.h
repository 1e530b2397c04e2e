#pragma once

#include <memory>
#include <string>

#include "core/ContourData.h"

namespace imvora {

// The one-line text of a glyph's description: the object count ("%d "), then per object its
// CoefCount ("%d "), its CoefX and its CoefY values ("%.5f " each). Numbers are written with a
// decimal point whatever the user's locale.
std::string FormatContourImage(const TCRContourImage& image);
// Reads such a text back (counts with ScanInt, coefficients with ScanDecimal, anything between
// numbers skipped): objects with their coefficients, empty paths, boxes 0, ClassIndex −1.
// A text that ends before its counts are satisfied, or holds a negative count, is an
// EImvoraError.
std::unique_ptr<TCRContourImage> ParseContourImage(const std::string& text);

}  // namespace imvora
