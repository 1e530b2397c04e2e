#include "filters/Box.h"

#include <cmath>
#include <vector>

#include "filters/Mirror.h"

namespace imvora {
namespace {

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
  const bool flagged[3] = {flag3, flag2, flag1};
  BoxConvolve(*bitmap, Kernel, flagged);
}

void BoxConvolve(TBitmap& bitmap, const std::array<double, 9>& kernel, const bool flagged[3],
                 TLaneWidth lanes) {
  if (bitmap.Empty()) return;
  double weightSum = 0;
  for (double w : kernel) weightSum += w;
  const double divisor = std::fabs(weightSum) < 1e-20 ? 1.0 : weightSum;
  const int width = bitmap.Width(), height = bitmap.Height();
  const std::vector<int> columns = MirrorTable(-1, width + 2, width);
  const std::size_t rowBytes = 3 * std::size_t(width);
  // Rows dy = -1, 0, 1 laid out with their mirrored borders; tap (dy, dx) of byte i reads
  // element i + 3 · (dx + 1) of row dy.
  std::vector<double> extended(3 * 3 * columns.size());
  double* rows[3];
  const double* taps[9];
  for (int k = 0; k < 9; ++k) {
    rows[k / 3] = extended.data() + (k / 3) * 3 * columns.size();
    taps[k] = rows[k / 3] + 3 * (k % 3);
  }
  std::vector<std::uint8_t> sums(rowBytes);
  TBitmap result = bitmap;
  for (int y = 0; y < height; ++y) {
    for (int dy = -1; dy <= 1; ++dy) {
      ExtendRow(bitmap.ScanLine(MirrorIndex(y + dy, height)), columns, rows[dy + 1]);
    }
    WeightedRowSums(kernel.data(), 9, taps, 0, static_cast<std::ptrdiff_t>(rowBytes), divisor,
                    sums.data(), lanes);
    std::uint8_t* out = result.ScanLine(y);
    for (std::size_t j = 0; j < rowBytes; j += 3) {
      if (flagged[0]) out[j] = sums[j];
      if (flagged[1]) out[j + 1] = sums[j + 1];
      if (flagged[2]) out[j + 2] = sums[j + 2];
    }
  }
  bitmap = std::move(result);
}

}  // namespace imvora
