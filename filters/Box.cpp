#include "filters/Box.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "filters/Mirror.h"
#include "filters/RowWindows.h"

namespace imvora {
namespace {

constexpr std::array<TBoxKernel, 3> kKernels = {{
    {1, 1, 1, 1, 1, 1, 1, 1, 1},
    {-1, -1, -1, -1, 9, -1, -1, -1, -1},
    {1, 1, 1, 1, 0, -1, -1, -1, -1},
}};

double Divisor(const TBoxKernel& kernel) {
  double weightSum = 0;
  for (double w : kernel) weightSum += w;
  return std::fabs(weightSum) < 1e-20 ? 1.0 : weightSum;
}

// A kernel of small whole weights with a whole positive divisor: every product and sum is then
// an exact whole number in double precision too, so 16-bit integers give the same sums in any
// order, and s / d truncated is the integer quotient (a quotient that is not whole lies at
// least 1 / d below the next integer). The quotient comes from a multiplication by
// magic = ceil(2^16 / d) and a shift, checked here for every sum that is not limited.
struct TIntegerKernel {
  bool Valid = false;
  std::int16_t Weights[9] = {};
  int Divisor = 1;
  std::uint16_t Magic = 0;
};

TIntegerKernel IntegerKernel(const TBoxKernel& kernel) {
  TIntegerKernel k;
  double magnitude = 0;
  for (int i = 0; i < 9; ++i) {
    if (kernel[i] != std::trunc(kernel[i])) return k;
    magnitude += std::fabs(kernel[i]);
    k.Weights[i] = static_cast<std::int16_t>(std::clamp(kernel[i], -128.0, 128.0));
  }
  const double divisor = Divisor(kernel);
  // |sum| <= magnitude · 255 must fit 16 bits.
  if (magnitude > 128 || divisor < 1 || divisor > 128 || divisor != std::trunc(divisor)) return k;
  k.Divisor = static_cast<int>(divisor);
  k.Magic = static_cast<std::uint16_t>((65536 + k.Divisor - 1) / k.Divisor);
  for (int s = 0; k.Divisor > 1 && s <= 255 * k.Divisor; ++s) {
    if ((s * k.Magic) >> 16 != s / k.Divisor) return k;
  }
  k.Valid = true;
  return k;
}

// Sixteen outputs at a time: rows[dy] is the input row dy with one mirrored pixel on either
// side, so that tap dx of byte i reads element i + 3 dx. Returns the bytes done.
[[gnu::target("avx2")]] std::ptrdiff_t IntegerSumsAvx2(const std::uint8_t* const rows[3],
                                                       const TIntegerKernel& k,
                                                       std::ptrdiff_t bytes, std::uint8_t* out) {
  __m256i weights[9];
  for (int i = 0; i < 9; ++i) weights[i] = _mm256_set1_epi16(k.Weights[i]);
  const __m256i top = _mm256_set1_epi16(static_cast<std::int16_t>(255 * k.Divisor));
  const __m256i magic = _mm256_set1_epi16(static_cast<std::int16_t>(k.Magic));
  std::ptrdiff_t i = 0;
  for (; i + 16 <= bytes; i += 16) {
    __m256i s = _mm256_setzero_si256();
    for (int tap = 0; tap < 9; ++tap) {
      const std::uint8_t* p = rows[tap / 3] + i + 3 * (tap % 3);
      const __m256i x = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
      s = _mm256_add_epi16(s, _mm256_mullo_epi16(x, weights[tap]));
    }
    s = _mm256_min_epi16(_mm256_max_epi16(s, _mm256_setzero_si256()), top);
    if (k.Divisor > 1) s = _mm256_mulhi_epu16(s, magic);
    const __m256i packed = _mm256_packus_epi16(s, s);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08)));
  }
  return i;
}

void IntegerSumsPlain(const std::uint8_t* const rows[3], const TIntegerKernel& k,
                      std::ptrdiff_t begin, std::ptrdiff_t bytes, std::uint8_t* out) {
  for (std::ptrdiff_t i = begin; i < bytes; ++i) {
    int s = 0;
    for (int tap = 0; tap < 9; ++tap) s += k.Weights[tap] * rows[tap / 3][i + 3 * (tap % 3)];
    out[i] = static_cast<std::uint8_t>(std::clamp(s, 0, 255 * k.Divisor) / k.Divisor);
  }
}

void WriteFlagged(const std::uint8_t* sums, std::ptrdiff_t rowBytes, const bool flagged[3],
                  std::uint8_t* row) {
  for (std::ptrdiff_t j = 0; j < rowBytes; j += 3) {
    if (flagged[0]) row[j] = sums[j];
    if (flagged[1]) row[j + 1] = sums[j + 1];
    if (flagged[2]) row[j + 2] = sums[j + 2];
  }
}

}  // namespace

// Working rows of one band: the ring of three input rows with their mirrored border pixels,
// as bytes for the integer sums or as doubles, and one output row.
struct TBoxBand {
  std::vector<std::uint8_t> ringBytes;
  std::vector<double> ring;
  std::vector<std::uint8_t> sums;
};

TBoxRows::TBoxRows() = default;
TBoxRows::~TBoxRows() = default;

void TBoxRows::Run(TBitmap& bitmap, const TBoxKernel& kernel, const bool flagged[3],
                   TLaneWidth lanes, IFilterHost* host) {
  if (bitmap.Empty()) return;
  const int width = bitmap.Width();
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{width};
  const std::vector<int> columns = MirrorTable(-1, width + 2, width);
  const std::ptrdiff_t slotBytes = 3 * std::ptrdiff_t{width + 2};
  const TIntegerKernel integer = IntegerKernel(kernel);
  const bool integers = integer.Valid && lanes == TLaneWidth::Avx2;
  const double divisor = Divisor(kernel);
  ForEachWindowBand(bitmap, 1, host, halo_, [&](const TWindowBand& band) {
    const auto scratch = bands_.Take();
    TBoxBand& s = *scratch;
    const int ringRows = band.RingRows(1);
    (integers ? s.ringBytes.resize(ringRows * slotBytes) : s.ring.resize(ringRows * slotBytes));
    s.sums.resize(rowBytes);
    // The row with its mirrored pixel on either side.
    auto load = [&](const std::uint8_t* input, int slot) {
      const std::uint8_t* left = input + 3 * columns.front();
      const std::uint8_t* right = input + 3 * columns.back();
      if (integers) {
        std::uint8_t* out = s.ringBytes.data() + slot * slotBytes;
        std::copy(left, left + 3, out);
        std::copy(input, input + rowBytes, out + 3);
        std::copy(right, right + 3, out + 3 + rowBytes);
      } else {
        double* out = s.ring.data() + slot * slotBytes;
        std::copy(left, left + 3, out);
        WidenBytes(input, rowBytes, out + 3, lanes);
        std::copy(right, right + 3, out + 3 + rowBytes);
      }
    };
    auto emit = [&](int y, int, const int* window) {
      if (integers) {
        const std::uint8_t* rows[3];
        for (int dy = 0; dy < 3; ++dy) rows[dy] = s.ringBytes.data() + window[dy] * slotBytes;
        const std::ptrdiff_t done = IntegerSumsAvx2(rows, integer, rowBytes, s.sums.data());
        IntegerSumsPlain(rows, integer, done, rowBytes, s.sums.data());
      } else {
        const double* taps[9];
        for (int tap = 0; tap < 9; ++tap) {
          taps[tap] = s.ring.data() + window[tap / 3] * slotBytes + 3 * (tap % 3);
        }
        WeightedRowSums(kernel.data(), 9, taps, 0, rowBytes, divisor, s.sums.data(), lanes);
      }
      WriteFlagged(s.sums.data(), rowBytes, flagged, bitmap.ScanLine(y));
    };
    band.Stream(1, load, emit);
  });
}

void BoxConvolvePlain(TBitmap& bitmap, const TBoxKernel& kernel, const bool flagged[3]) {
  const double divisor = Divisor(kernel);
  TBitmap t = bitmap;
  const int width = bitmap.Width(), height = bitmap.Height();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      double acc[3] = {0, 0, 0};
      int k = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx, ++k) {
          const std::uint8_t* p =
              bitmap.ScanLine(MirrorIndex(y + dy, height)) + 3 * MirrorIndex(x + dx, width);
          for (int c = 0; c < 3; ++c) acc[c] += kernel[k] * p[c];
        }
      }
      for (int c = 0; c < 3; ++c) {
        if (flagged[c]) {
          t.ScanLine(y)[3 * x + c] =
              static_cast<std::uint8_t>(std::trunc(std::clamp(acc[c] / divisor, 0.0, 255.0)));
        }
      }
    }
  }
  bitmap = std::move(t);
}

void BoxConvolve(TBitmap& bitmap, const TBoxKernel& kernel, const bool flagged[3],
                 TLaneWidth lanes) {
  if (lanes == TLaneWidth::Plain) {
    BoxConvolvePlain(bitmap, kernel, flagged);
  } else {
    TBoxRows().Run(bitmap, kernel, flagged, lanes, nullptr);
  }
}

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
  const TLaneWidth lanes = LaneWidth();
  if (lanes == TLaneWidth::Plain) {
    BoxConvolvePlain(*bitmap, Kernel, flagged);
  } else {
    rows_.Run(*bitmap, Kernel, flagged, lanes, Host);
  }
}

}  // namespace imvora
