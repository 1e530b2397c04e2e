#pragma once

#include <QImage>
#include <QRect>
#include <vector>

#include "core/Raster.h"

namespace imvora {

// A deep copy of a 24-bit (or 32-bit, alpha ignored) bitmap as a Qt image.
QImage ToQImage(const TBitmap& bitmap);

// The one-pixel outline of `outline` (corners included once) as non-overlapping strips, each
// cut to `bounds`; strips outside the bounds are left out.
std::vector<QRect> OutlineStrips(const QRect& outline, const QRect& bounds);

// Inverts the pixels of the outline in place, as an inverting pen would draw it.
void InvertOutline(QImage& image, const QRect& outline);

}  // namespace imvora
