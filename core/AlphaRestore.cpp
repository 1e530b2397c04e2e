#include "core/AlphaRestore.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/Error.h"
#include "core/Filtering.h"
#include "core/ImageFile.h"

namespace imvora {
namespace {

// Channel bytes in pixel order: blue, green, red.
struct TPixel {
  int Channel[3];
};

TPixel PixelAt(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
  return {{p[0], p[1], p[2]}};
}

bool DifferInEveryChannel(const TPixel& first, const TPixel& second) {
  for (int c = 0; c < 3; ++c) {
    if (first.Channel[c] == second.Channel[c]) return false;
  }
  return true;
}

// Opacity of one channel from p = a*c + (1-a)*bg written out for both inputs.
double ChannelOpacity(int first, int second, int firstBackground, int secondBackground) {
  const long double quotient = static_cast<long double>(first - second) /
                               static_cast<long double>(firstBackground - secondBackground);
  return static_cast<double>(1.0L - quotient);
}

// The mean of the colour solved from each input; 0 for a channel of no opacity.
std::uint8_t ChannelColour(double opacity, int first, int second, int firstBackground,
                           int secondBackground) {
  if (!(std::fabs(opacity) > 1e-32)) return 0;
  const long double a = opacity;
  const long double fromFirst = (first - (1.0L - a) * firstBackground) / a;
  const long double fromSecond = (second - (1.0L - a) * secondBackground) / a;
  // ToByte truncates toward zero and clamps to 0..255 before any integer conversion.
  return ToByte((fromFirst + fromSecond) * 0.5L);
}

std::uint8_t CombinedOpacity(const double opacity[3]) {
  const long double weighted = static_cast<long double>(opacity[2]) * 0.299 +
                               static_cast<long double>(opacity[1]) * 0.587 +
                               static_cast<long double>(opacity[0]) * 0.114;
  return ToByte(weighted * 255.0);
}

void RestorePixel(const TPixel& first, const TPixel& second, const TPixel& firstBackground,
                  const TPixel& secondBackground, std::uint8_t* out) {
  double opacity[3];
  for (int c = 0; c < 3; ++c) {
    opacity[c] = ChannelOpacity(first.Channel[c], second.Channel[c], firstBackground.Channel[c],
                                secondBackground.Channel[c]);
  }
  for (int c = 0; c < 3; ++c) {
    out[c] = ChannelColour(opacity[c], first.Channel[c], second.Channel[c],
                           firstBackground.Channel[c], secondBackground.Channel[c]);
  }
  out[3] = CombinedOpacity(opacity);
}

}  // namespace

TBitmap RestoreAlpha(const TBitmap& first, const TBitmap& second) {
  TBitmap result(std::min(first.Width(), second.Width()), std::min(first.Height(), second.Height()),
                 32);
  if (result.Empty()) return result;
  const TPixel firstBackground = PixelAt(first, 0, 0);
  const TPixel secondBackground = PixelAt(second, 0, 0);
  // Backgrounds that agree in a channel leave that channel's opacity undetermined.
  if (!DifferInEveryChannel(firstBackground, secondBackground)) return result;
  for (int y = 0; y < result.Height(); ++y) {
    std::uint8_t* out = result.ScanLine(y);
    for (int x = 0; x < result.Width(); ++x, out += 4) {
      RestorePixel(PixelAt(first, x, y), PixelAt(second, x, y), firstBackground, secondBackground,
                   out);
    }
  }
  return result;
}

void RestoreAlphaFiles(const std::string& first, const std::string& second,
                       const std::string& output) {
  const TBitmap firstImage = LoadImageFile(first);
  const TBitmap secondImage = LoadImageFile(second);
  const std::vector<std::uint8_t> bytes = GuardMemory("восстановление альфа-канала", [&] {
    return EncodeBmp(RestoreAlpha(firstImage, secondImage));
  });
  WriteFileAtomically(output, bytes);
}

}  // namespace imvora
