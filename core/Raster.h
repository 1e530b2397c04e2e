#pragma once

#include <cstdint>
#include <vector>

namespace imvora {

// In-memory raster: rows from the top, pixels of 3 bytes (blue, green, red) or 4 bytes
// (blue, green, red, alpha). Rows are reached through ScanLine only; each row is padded to a
// multiple of 4 bytes so that nothing may assume rows of exactly Width*3 bytes.
class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, int bitsPerPixel = 24);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  int BytesPerPixel() const { return bitsPerPixel_ / 8; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }
  int RowBytes() const { return stride_; }

  // Resizing keeps the overlapping top-left part of the pixels; new pixels are zero.
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  void SetSize(int width, int height);
  // Converts the pixels: 32 to 24 drops alpha, 24 to 32 adds alpha 0.
  void SetPixelFormat(int bitsPerPixel);

  std::uint8_t* ScanLine(int y) { return data_.data() + static_cast<std::size_t>(y) * stride_; }
  const std::uint8_t* ScanLine(int y) const {
    return data_.data() + static_cast<std::size_t>(y) * stride_;
  }

  void Assign(const TBitmap& other) { *this = other; }
  bool SamePixels(const TBitmap& other) const;

 private:
  static int StrideFor(int width, int bitsPerPixel);

  int width_ = 0;
  int height_ = 0;
  int bitsPerPixel_ = 24;
  int stride_ = 0;
  std::vector<std::uint8_t> data_;
};

// Largest image accepted from a file or a resize: 2^28 pixels (768 MiB at 24 bits).
constexpr std::int64_t kMaxPixels = std::int64_t{1} << 28;

}  // namespace imvora
