#include "core/Raster.h"

#include <algorithm>
#include <cstring>

#include "core/Error.h"

namespace imvora {

TBitmap::TBitmap(int width, int height, int bitsPerPixel) : bitsPerPixel_(bitsPerPixel) {
  SetSize(width, height);
}

int TBitmap::StrideFor(int width, int bitsPerPixel) {
  const std::int64_t bytes = std::int64_t{width} * (bitsPerPixel / 8);
  return static_cast<int>((bytes + 3) / 4 * 4);
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (std::int64_t{width} * height > kMaxPixels) {
    throw EImvoraError("Слишком большое изображение: " + std::to_string(width) + " x " +
                       std::to_string(height) + " точек");
  }
  if (width == width_ && height == height_) return;
  const int stride = StrideFor(width, bitsPerPixel_);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(stride) * height, 0);
  const int keepRows = std::min(height, height_);
  const int keepBytes = std::min(stride, stride_);
  for (int y = 0; y < keepRows; ++y) {
    std::memcpy(data.data() + static_cast<std::size_t>(y) * stride, ScanLine(y), keepBytes);
  }
  width_ = width;
  height_ = height;
  stride_ = stride;
  data_ = std::move(data);
}

void TBitmap::SetPixelFormat(int bitsPerPixel) {
  if (bitsPerPixel != 24 && bitsPerPixel != 32) {
    throw EImvoraError("Неподдерживаемый формат точки: " + std::to_string(bitsPerPixel));
  }
  if (bitsPerPixel == bitsPerPixel_) return;
  TBitmap converted;
  converted.bitsPerPixel_ = bitsPerPixel;
  converted.SetSize(width_, height_);
  const int from = BytesPerPixel();
  const int to = converted.BytesPerPixel();
  for (int y = 0; y < height_; ++y) {
    const std::uint8_t* src = ScanLine(y);
    std::uint8_t* dst = converted.ScanLine(y);
    for (int x = 0; x < width_; ++x) std::memcpy(dst + x * to, src + x * from, 3);
  }
  *this = std::move(converted);
}

bool TBitmap::SamePixels(const TBitmap& other) const {
  if (width_ != other.width_ || height_ != other.height_ || bitsPerPixel_ != other.bitsPerPixel_) {
    return false;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(width_) * BytesPerPixel();
  for (int y = 0; y < height_; ++y) {
    if (std::memcmp(ScanLine(y), other.ScanLine(y), rowBytes) != 0) return false;
  }
  return true;
}

}  // namespace imvora
