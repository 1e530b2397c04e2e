#include "filters/Wavelet.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "filters/ChannelPlane.h"

namespace imvora {
namespace {

// The size halved `level` times. Shifting a 32-bit size by 32 or more is undefined in C++; no
// size has a block at such a level.
int HalvedSize(int size, std::int64_t level) {
  return level < 32 ? size >> level : 0;
}

std::uint8_t& At(TBitmap& bitmap, int row, int column, int byte) {
  return bitmap.ScanLine(row)[3 * column + byte];
}

std::uint8_t Clamped(int value) {
  return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// Reads the 2 × 2 groups from `pixels` and writes the quadrants into `coefficients`.
void ForwardStep(TBitmap& pixels, TBitmap& coefficients, int w, int h, int byte,
                 const TImvoraFilter& filter) {
  for (int i = 0; i < h; ++i) {
    filter.ReportProgress(std::int64_t{byte} * h + i, 3 * std::int64_t{h});
    for (int j = 0; j < w; ++j) {
      const int a = At(pixels, 2 * i, 2 * j, byte), b = At(pixels, 2 * i, 2 * j + 1, byte);
      const int c = At(pixels, 2 * i + 1, 2 * j, byte), d = At(pixels, 2 * i + 1, 2 * j + 1, byte);
      At(coefficients, i, j, byte) = static_cast<std::uint8_t>((a + b + c + d) / 4);
      At(coefficients, i, w + j, byte) = static_cast<std::uint8_t>((a + b - c - d) / 4 + 128);
      At(coefficients, h + i, j, byte) = static_cast<std::uint8_t>((a - b + c - d) / 4 + 128);
      At(coefficients, h + i, w + j, byte) = static_cast<std::uint8_t>((a - b - c + d) / 4 + 128);
    }
  }
}

// Reads the quadrants from `coefficients` and writes the 2 × 2 groups into `pixels`.
void InverseStep(TBitmap& coefficients, TBitmap& pixels, int w, int h, int byte,
                 const TImvoraFilter& filter) {
  for (int i = 0; i < h; ++i) {
    filter.ReportProgress(std::int64_t{byte} * h + i, 3 * std::int64_t{h});
    for (int j = 0; j < w; ++j) {
      const int l = At(coefficients, i, j, byte), p = At(coefficients, i, w + j, byte);
      const int q = At(coefficients, h + i, j, byte), r = At(coefficients, h + i, w + j, byte);
      At(pixels, 2 * i, 2 * j, byte) = Clamped(l + p + q + r - 384);
      At(pixels, 2 * i, 2 * j + 1, byte) = Clamped(l + p - q - r + 128);
      At(pixels, 2 * i + 1, 2 * j, byte) = Clamped(l - p + q - r + 128);
      At(pixels, 2 * i + 1, 2 * j + 1, byte) = Clamped(l - p - q + r + 128);
    }
  }
}

}  // namespace

TWaveletFilter::TWaveletFilter() {
  Name = "Wavelet";
  AddParam(TParam::Integer("Порядок:", Order).NonZero().WithSignBox("Обратить"));
}

void TWaveletFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || Order == 0) return;
  const std::int64_t level = std::abs(std::int64_t{Order});
  const int w = HalvedSize(bitmap->Width(), level), h = HalvedSize(bitmap->Height(), level);
  if (w == 0 || h == 0) return;
  TBitmap copy = *bitmap;
  for (int byte : FlaggedBytes(flag1, flag2, flag3)) {
    if (Order > 0) {
      ForwardStep(*bitmap, copy, w, h, byte, *this);
    } else {
      InverseStep(copy, *bitmap, w, h, byte, *this);
    }
  }
  if (Order > 0) *bitmap = std::move(copy);
}

}  // namespace imvora
