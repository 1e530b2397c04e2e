#include "filters/Rotate.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/Filtering.h"

namespace imvora {
namespace {

constexpr double kPi = 3.141592653589793;

// The angle in radians, in extended precision: even the largest double angle gives a finite
// product there, so sine and cosine are always numbers.
long double Radians(double degrees) {
  return degrees * static_cast<long double>(kPi) * (1.0 / 180);
}

}  // namespace

TRotateFilter::TRotateFilter() {
  Name = "Rotate";
  EditColumn = TEditColumn::WidestLabel;
  PanelWidthFrom = TPanelWidthFrom::LastControl;
  AddParam(TParam::Real("Угол:", Angle, "%.15g"));
  AddParam(TParam::Real("Порог смешивания:", BlendThreshold, "%.15g").ScriptDivisor(100));
}

void TRotateFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || bitmap->Empty()) return;
  const int width = bitmap->Width(), height = bitmap->Height();
  TBitmap rotated(width, height);
  const long double theta = Radians(Angle);
  const long double c = std::cos(theta), s = std::sin(theta);
  const double cx = width * 0.5, cy = height * 0.5;
  // sx = (x - cx)·c + cx - (cy - y)·s and sy = cy - (x - cx)·s - (cy - y)·c, evaluated left to
  // right in extended precision: the terms of x and of y are formed once each, in the same
  // precision, so every pixel gets the value the whole expression would give.
  std::vector<long double> sxOfColumn(width), syOfColumn(width);
  for (int x = 0; x < width; ++x) {
    const long double u = static_cast<long double>(x) - cx;
    sxOfColumn[x] = u * c + cx;
    syOfColumn[x] = cy - u * s;
  }
  std::vector<long double> sOfRow(height), cOfRow(height);
  for (int y = 0; y < height; ++y) {
    const long double v = cy - static_cast<long double>(y);
    sOfRow[y] = v * s;
    cOfRow[y] = v * c;
  }
  const RowTable rows = BuildRowTable(*bitmap);
  // Every destination pixel is computed on its own, so they are visited in square tiles: the
  // source pixels of a tile lie close together whatever the angle, which keeps them cached.
  constexpr int kTile = 64;
  for (int top = 0; top < height; top += kTile) {
    ReportProgress(top, height);
    for (int left = 0; left < width; left += kTile) {
      for (int y = top; y < std::min(height, top + kTile); ++y) {
        std::uint8_t* out = rotated.ScanLine(y) + 3 * left;
        for (int x = left; x < std::min(width, left + kTile); ++x, out += 3) {
          const double sx = static_cast<double>(sxOfColumn[x] - sOfRow[y]);
          const double sy = static_cast<double>(syOfColumn[x] - cOfRow[y]);
          BilinearSample(width, height, rows, sx, sy, out[2], out[1], out[0], BlendThreshold);
        }
      }
    }
  }
  *bitmap = std::move(rotated);
}

}  // namespace imvora
