#include "app/Drawing.h"

namespace imvora {

QImage ToQImage(const TBitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  const QImage::Format format =
      bitmap.BitsPerPixel() == 32 ? QImage::Format_RGB32 : QImage::Format_BGR888;
  return QImage(bitmap.ScanLine(0), bitmap.Width(), bitmap.Height(), bitmap.RowBytes(), format)
      .copy();
}

std::vector<QRect> OutlineStrips(const QRect& outline, const QRect& bounds) {
  const int l = outline.left(), t = outline.top(), r = outline.right(), b = outline.bottom();
  std::vector<QRect> strips = {QRect(QPoint(l, t), QPoint(r, t))};
  if (b > t) strips.push_back(QRect(QPoint(l, b), QPoint(r, b)));
  if (b - t > 1) {
    strips.push_back(QRect(QPoint(l, t + 1), QPoint(l, b - 1)));
    if (r > l) strips.push_back(QRect(QPoint(r, t + 1), QPoint(r, b - 1)));
  }
  std::vector<QRect> clipped;
  for (const QRect& strip : strips) {
    const QRect part = strip.intersected(bounds);
    if (!part.isEmpty()) clipped.push_back(part);
  }
  return clipped;
}

void InvertOutline(QImage& image, const QRect& outline) {
  for (const QRect& strip : OutlineStrips(outline, image.rect())) {
    for (int y = strip.top(); y <= strip.bottom(); ++y) {
      for (int x = strip.left(); x <= strip.right(); ++x) {
        image.setPixel(x, y, image.pixel(x, y) ^ 0x00FFFFFFu);
      }
    }
  }
}

}  // namespace imvora
