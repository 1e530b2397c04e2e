#include "filters/Gaussian.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "core/Error.h"
#include "core/TextConvert.h"
#include "filters/Mirror.h"
#include "filters/RowWindows.h"
#include "filters/WeightedSums.h"

namespace imvora {
namespace {

// exp of an argument below this is 0 in double precision: the exact value lies under half the
// smallest subnormal, so the rounded result is 0.
constexpr double kExpUnderflow = -746.0;

// Writes the blurred flagged bytes of each row into the bitmap; with every byte flagged there
// is nothing to pick, and the blurred rows go straight into the bitmap.
TBlurredRow FlaggedWriter(TBitmap& bitmap, const bool flagged[3]) {
  if (flagged[0] && flagged[1] && flagged[2]) return nullptr;
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{bitmap.Width()};
  const std::array<bool, 3> f = {flagged[0], flagged[1], flagged[2]};
  return [&bitmap, rowBytes, f](int y, const std::uint8_t* blurred) {
    std::uint8_t* row = bitmap.ScanLine(y);
    for (std::ptrdiff_t i = 0; i < rowBytes; i += 3) {
      if (f[0]) row[i] = blurred[i];
      if (f[1]) row[i + 1] = blurred[i + 1];
      if (f[2]) row[i + 2] = blurred[i + 2];
    }
  };
}

}  // namespace

// Working rows of one band: a piece of the input row laid out as doubles with its mirrored
// borders (tap k of byte i reads element i + 3k), the ring of rows of the horizontal pass (as
// floats, or as bytes for long kernels) and the rows of the vertical pass emitted at a time.
struct TGaussBand {
  std::vector<double> extended;
  std::vector<float> ring;
  std::vector<std::uint8_t> ringBytes;
  std::vector<std::uint8_t> down;
  std::vector<std::uint8_t*> downRows;
  std::vector<const double*> tapRows;
  std::vector<const float*> windowRows;
  std::vector<const std::uint8_t*> windowBytes;
};

TGaussRows::TGaussRows() = default;
TGaussRows::~TGaussRows() = default;

namespace {

// The horizontal pass runs over pieces of this many bytes of a row, so that the doubles its
// taps read stay in the first-level cache.
constexpr std::ptrdiff_t kPieceBytes = 1536;
// Rings of up to this many rows hold floats, which the vertical pass widens in one step;
// longer kernels keep bytes, a quarter of the room.
constexpr int kMaxFloatRingRows = 16;
// A ring of bytes gives this many rows of the vertical pass at a time, in strips of this many
// bytes: the strip of every ring row then stays in the second-level cache for all of them.
constexpr int kByteRingRowsPerEmit = 16;
constexpr std::ptrdiff_t kStripBytes = 1024;

// One band of TGaussRows::Run.
class TGaussBandRun {
 public:
  TGaussBandRun(TBitmap& bitmap, const std::vector<double>& w, const std::vector<int>& columns,
                int ringRows, TLaneWidth lanes, TGaussBand& s)
      : bitmap_(bitmap),
        w_(w),
        taps_(static_cast<int>(w.size())),
        half_(taps_ / 2),
        rowBytes_(3 * std::ptrdiff_t{bitmap.Width()}),
        columns_(columns),
        lanes_(lanes),
        floats_(RowsPerEmit(taps_) == 2),
        s_(s) {
    s.extended.resize(kPieceBytes + 3 * std::size_t(taps_ - 1));
    (floats_ ? s.ring.resize(ringRows * rowBytes_) : s.ringBytes.resize(ringRows * rowBytes_));
    s.down.resize(RowsPerEmit(taps_) * rowBytes_);
    s.tapRows.resize(taps_);
    for (int k = 0; k < taps_; ++k) s.tapRows[k] = s.extended.data() + 3 * std::size_t(k);
    s.windowRows.resize(taps_ + 1);
    s.windowBytes.resize(taps_ + 1);
  }

  // Rows of the vertical pass at a time; the ring then holds the 2 half + rows their windows
  // span.
  static int RowsPerEmit(int taps) {
    return taps + 1 <= kMaxFloatRingRows ? 2 : kByteRingRowsPerEmit;
  }

  // The horizontal pass of one input row into a ring slot, piece by piece.
  void Load(const std::uint8_t* input, int slot) {
    for (std::ptrdiff_t begin = 0; begin < rowBytes_; begin += kPieceBytes) {
      const std::ptrdiff_t end = std::min(rowBytes_, begin + kPieceBytes);
      Extend(input, begin, end + 3 * std::ptrdiff_t(taps_ - 1));
      if (floats_) {
        WeightedRowSums(w_.data(), taps_, s_.tapRows.data(), 0, end - begin, 1.0,
                        RingRow(slot) + begin, lanes_);
      } else {
        WeightedRowSums(w_.data(), taps_, s_.tapRows.data(), 0, end - begin, 1.0,
                        RingBytes(slot) + begin, lanes_);
      }
    }
  }

  // The vertical pass of count rows from first on, handed to consume, or without one written
  // into the bitmap's rows. A ring of floats gives a pair of rows over the whole width; a ring
  // of bytes gives its rows strip by strip, two at a time.
  void Emit(int first, int count, const int* window, const TBlurredRow& consume) {
    std::vector<std::uint8_t*>& down = s_.downRows;
    down.resize(count);
    for (int r = 0; r < count; ++r) {
      down[r] = consume ? s_.down.data() + r * rowBytes_ : bitmap_.ScanLine(first + r);
    }
    if (floats_) {
      for (int k = 0; k < taps_ + count - 1; ++k) s_.windowRows[k] = RingRow(window[k]);
      WeightedRowSumRows(w_.data(), taps_, s_.windowRows.data(), 0, rowBytes_, down.data(), count,
                         lanes_);
    } else {
      for (std::ptrdiff_t begin = 0; begin < rowBytes_; begin += kStripBytes) {
        const std::ptrdiff_t end = std::min(rowBytes_, begin + kStripBytes);
        for (int r = 0; r < count; r += 2) {
          const int rows = std::min(2, count - r);
          for (int k = 0; k < taps_ + rows - 1; ++k) s_.windowBytes[k] = RingBytes(window[r + k]);
          WeightedRowSumRows(w_.data(), taps_, s_.windowBytes.data(), begin, end, &down[r], rows,
                             lanes_);
        }
      }
    }
    if (!consume) return;
    for (int r = 0; r < count; ++r) consume(first + r, down[r]);
  }

 private:
  // Elements [begin, end) of the input row extended by half pixels on either side (element e
  // is byte e mod 3 of column MirrorIndex(e / 3 - half)), as doubles from extended[0] on.
  void Extend(const std::uint8_t* input, std::ptrdiff_t begin, std::ptrdiff_t end) {
    double* out = s_.extended.data();
    const std::ptrdiff_t inner = 3 * std::ptrdiff_t{half_}, outer = inner + rowBytes_;
    const std::ptrdiff_t from = std::max(begin, inner), to = std::min(end, outer);
    if (from < to) WidenBytes(input + (from - inner), to - from, out + (from - begin), lanes_);
    for (std::ptrdiff_t e = begin; e < std::min(end, inner); ++e) {
      out[e - begin] = Mirrored(input, e);
    }
    for (std::ptrdiff_t e = std::max(begin, outer); e < end; ++e)
      out[e - begin] = Mirrored(input, e);
  }
  std::uint8_t Mirrored(const std::uint8_t* input, std::ptrdiff_t e) const {
    return input[3 * columns_[e / 3] + e % 3];
  }
  float* RingRow(int slot) { return s_.ring.data() + slot * rowBytes_; }
  std::uint8_t* RingBytes(int slot) { return s_.ringBytes.data() + slot * rowBytes_; }

  TBitmap& bitmap_;
  const std::vector<double>& w_;
  const int taps_, half_;
  const std::ptrdiff_t rowBytes_;
  const std::vector<int>& columns_;
  const TLaneWidth lanes_;
  const bool floats_;
  TGaussBand& s_;
};

}  // namespace

void TGaussRows::Run(TBitmap& bitmap, const std::vector<double>& w, TLaneWidth lanes,
                     IFilterHost* host, const TBlurredRow& consume) {
  if (bitmap.Empty()) return;
  const int half = static_cast<int>(w.size() / 2);
  const int width = bitmap.Width();
  const std::vector<int> columns = MirrorTable(-half, width + 2 * std::int64_t{half}, width);
  ForEachWindowBand(bitmap, half, host, halo_, [&](const TWindowBand& band) {
    const auto scratch = bands_.Take();
    const int rowsPerEmit = TGaussBandRun::RowsPerEmit(static_cast<int>(w.size()));
    TGaussBandRun run(bitmap, w, columns, band.RingRows(rowsPerEmit), lanes, *scratch);
    band.Stream(
        rowsPerEmit, [&](const std::uint8_t* input, int slot) { run.Load(input, slot); },
        [&](int first, int count, const int* window) { run.Emit(first, count, window, consume); });
  });
}

void GaussBlurPlain(const TBitmap& source, TBitmap& destination, const std::vector<double>& w,
                    const bool flagged[3]) {
  const TBitmap input = source;
  TBitmap t = input;
  destination = input;
  const int width = input.Width(), height = input.Height();
  const int r = static_cast<int>(w.size() / 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        double s = 0;
        for (int k = -r; k <= r; ++k)
          s += w[k + r] * input.ScanLine(y)[3 * MirrorIndex(x + k, width) + c];
        t.ScanLine(y)[3 * x + c] = static_cast<std::uint8_t>(std::trunc(s));
      }
    }
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        double s = 0;
        for (int k = -r; k <= r; ++k)
          s += w[k + r] * t.ScanLine(MirrorIndex(y + k, height))[3 * x + c];
        if (flagged[c])
          destination.ScanLine(y)[3 * x + c] = static_cast<std::uint8_t>(std::trunc(s));
      }
    }
  }
}

std::vector<double> GaussKernel(std::int32_t radius, double sigma) {
  const double twoSigmaSquared = 2 * sigma * sigma;
  auto argument = [twoSigmaSquared](std::int64_t i) {
    return -static_cast<double>(i * i) / twoSigmaSquared;
  };
  // The argument falls as |i| grows, so the weights that are exactly 0 form the two tails.
  std::int64_t half = 0;
  while (half < radius && argument(half + 1) >= kExpUnderflow) {
    if (++half > kMaxGaussHalfWidth) {
      throw EImvoraError("Слишком большое ядро размытия: радиус " + std::to_string(radius) +
                         " при силе размытия " + FormatReal(sigma, "%g") + " даёт больше " +
                         std::to_string(kMaxGaussHalfWidth) +
                         " значимых отсчётов в каждую сторону");
    }
  }
  std::vector<double> w(2 * half + 1);
  for (std::int64_t i = -half; i <= half; ++i) w[i + half] = std::exp(argument(i));
  double sum = 0;
  for (double weight : w) sum += weight;
  for (double& weight : w) weight /= sum;
  return w;
}

void GaussBlur(const TBitmap* source, TBitmap* destination, std::int32_t radius, double sigma,
               bool flag1, bool flag2, bool flag3, TLaneWidth lanes) {
  if (source == nullptr || destination == nullptr || !(flag1 || flag2 || flag3)) return;
  if (!(sigma >= 1e-10) || source->BitsPerPixel() != 24) return;
  // An empty picture has nothing to blur, however wide the kernel would be.
  if (source->Empty()) {
    if (destination != source) *destination = *source;
    return;
  }
  const std::vector<double> w = GaussKernel(std::max(radius, 0), sigma);
  const bool flagged[3] = {flag3, flag2, flag1};
  if (lanes == TLaneWidth::Plain) {
    GaussBlurPlain(*source, *destination, w, flagged);
    return;
  }
  if (destination != source) *destination = *source;
  TGaussRows().Run(*destination, w, lanes, nullptr, FlaggedWriter(*destination, flagged));
}

TGaussFilter::TGaussFilter(const char* name, std::int32_t radius, double sigma)
    : Radius(radius), Sigma(sigma) {
  Name = name;
  AddParam(TParam::Integer("Радиус размытия:", Radius).AtLeast(1));
  AddParam(TParam::Real("Сила размытия:", Sigma, "%g"));
}

std::vector<double> TGaussFilter::Kernel() const {
  if (!(Sigma >= 1e-10)) return {};
  return GaussKernel(std::max(Radius, 0), Sigma);
}

void TGaussFilter::BlurRows(TBitmap& bitmap, const TBlurredRow& consume) {
  std::vector<double> w = Kernel();
  if (w.empty()) w = {1.0};
  rows_.Run(bitmap, w, LaneWidth(), Host, consume);
}

void TGaussFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || bitmap->Empty()) return;
  if (LaneWidth() == TLaneWidth::Plain) {
    GaussBlur(bitmap, bitmap, Radius, Sigma, flag1, flag2, flag3, TLaneWidth::Plain);
    return;
  }
  const std::vector<double> w = Kernel();
  if (w.empty()) return;
  const bool flagged[3] = {flag3, flag2, flag1};
  rows_.Run(*bitmap, w, LaneWidth(), Host, FlaggedWriter(*bitmap, flagged));
}

}  // namespace imvora
