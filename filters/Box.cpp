#include "filters/Box.h"

#include <cmath>
#include <vector>

#include "filters/DoubleLanes.h"
#include "filters/Mirror.h"

namespace imvora {
namespace {

using lanes::Double4;

constexpr std::array<std::array<double, 9>, 3> kKernels = {{
    {1, 1, 1, 1, 1, 1, 1, 1, 1},
    {-1, -1, -1, -1, 9, -1, -1, -1, -1},
    {1, 1, 1, 1, 0, -1, -1, -1, -1},
}};

// A source row laid out as doubles with one mirrored column on either side, so that the tap
// dx of byte i reads element i + 3 · (dx + 1).
void ExtendRow(const std::uint8_t* row, const std::vector<int>& columns, double* out) {
  for (std::size_t j = 0; j < columns.size(); ++j) {
    const std::uint8_t* p = row + 3 * columns[j];
    out[3 * j] = p[0];
    out[3 * j + 1] = p[1];
    out[3 * j + 2] = p[2];
  }
}

// The filtered byte i of a row from the three extended rows: the nine products added in
// kernel order, divided by the divisor and limited to 0 ... 255.
template <class Value>
void Filter(const std::array<double, 9>& kernel, const double* const rows[3], std::size_t i,
            double divisor, Value& result) {
  Value sum{};
  for (int k = 0; k < 9; ++k) {
    const double* s = rows[k / 3] + i + 3 * (k % 3);
    Value v;
    if constexpr (sizeof(Value) == sizeof(double)) {
      v = *s;
    } else {
      lanes::Load(s, v);
    }
    sum += kernel[k] * v;
  }
  const Value q = sum / divisor;
  result = q < 0 ? Value{} : q > 255 ? Value{} + 255 : q;
}

}  // namespace

TBoxFilter::TBoxFilter() : Kernel(kKernels[0]) {
  Name = "Box";
  AddParam(
      TParam::Choice("Метод коррекции:", Method, {"размытие", "резкость", "края"}).OnStored([this] {
        LoadKernel();
      }));
}

void TBoxFilter::LoadKernel() {
  Kernel = kKernels[Method];
}

void TBoxFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || bitmap->Empty()) return;
  double weightSum = 0;
  for (double w : Kernel) weightSum += w;
  const double divisor = std::fabs(weightSum) < 1e-20 ? 1.0 : weightSum;
  const int width = bitmap->Width(), height = bitmap->Height();
  const std::vector<int> columns = MirrorTable(-1, width + 2, width);
  const std::size_t rowBytes = 3 * std::size_t(width);
  std::vector<double> extended(3 * 3 * columns.size());
  double* rows[3] = {extended.data(), extended.data() + 3 * columns.size(),
                     extended.data() + 6 * columns.size()};
  const bool flagged[3] = {flag3, flag2, flag1};
  std::vector<std::uint8_t> sums(rowBytes);
  TBitmap result = *bitmap;
  for (int y = 0; y < height; ++y) {
    for (int dy = -1; dy <= 1; ++dy) {
      ExtendRow(bitmap->ScanLine(MirrorIndex(y + dy, height)), columns, rows[dy + 1]);
    }
    std::size_t i = 0;
    for (; i + 4 <= rowBytes; i += 4) {
      Double4 value;
      Filter(Kernel, rows, i, divisor, value);
      lanes::StoreBytes(value, sums.data() + i);
    }
    for (; i < rowBytes; ++i) {
      double value;
      Filter(Kernel, rows, i, divisor, value);
      sums[i] = static_cast<std::uint8_t>(value);
    }
    std::uint8_t* out = result.ScanLine(y);
    for (std::size_t j = 0; j < rowBytes; j += 3) {
      if (flagged[0]) out[j] = sums[j];
      if (flagged[1]) out[j + 1] = sums[j + 1];
      if (flagged[2]) out[j + 2] = sums[j + 2];
    }
  }
  *bitmap = std::move(result);
}

}  // namespace imvora
