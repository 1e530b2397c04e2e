#include "filters/Rotate.h"

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
  const RowTable rows = BuildRowTable(*bitmap);
  for (int y = 0; y < height; ++y) {
    const long double v = cy - static_cast<long double>(y);
    const long double vs = v * s, vc = v * c;
    std::uint8_t* out = rotated.ScanLine(y);
    for (int x = 0; x < width; ++x, out += 3) {
      const double sx = static_cast<double>(sxOfColumn[x] - vs);
      const double sy = static_cast<double>(syOfColumn[x] - vc);
      BilinearSample(width, height, rows, sx, sy, out[2], out[1], out[0], BlendThreshold);
    }
  }
  *bitmap = std::move(rotated);
}

}  // namespace imvora
