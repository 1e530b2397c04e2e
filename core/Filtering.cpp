#include "core/Filtering.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/ChannelRows.h"
#include "core/Error.h"
#include "core/Random.h"
#include "core/RowBands.h"

namespace imvora {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads the digits at `text` into `value` (saturating at 2^31) and returns the first
// character after them.
const char* ReadDigits(const char* text, std::int64_t& value) {
  constexpr std::int64_t kCap = std::int64_t{1} << 31;
  value = 0;
  while (IsDigit(*text)) {
    value = std::min(value * 10 + (*text - '0'), kCap);
    ++text;
  }
  return text;
}

std::int32_t Saturate(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(
      value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

// Steps over everything that cannot start a number; none at the end of the text.
const char* NextNumber(const char* text) {
  while (*text != '\0' && !IsDigit(*text) && *text != '-') ++text;
  return *text == '\0' ? nullptr : text;
}

bool Is24Bit(const TBitmap* bitmap) {
  return bitmap != nullptr && bitmap->BitsPerPixel() == 24;
}

}  // namespace

const char* ScanInt(const char* text, std::int32_t& value) {
  value = 0;
  if (text == nullptr) return nullptr;
  int sign = 1;
  if (*text == '-') {
    sign = -1;
    ++text;
  }
  std::int64_t magnitude;
  text = ReadDigits(text, magnitude);
  value = Saturate(sign * magnitude);
  return NextNumber(text);
}

const char* ScanUInt(const char* text, std::int32_t& value) {
  value = 0;
  if (text == nullptr) return nullptr;
  std::int64_t magnitude;
  text = ReadDigits(text, magnitude);
  value = Saturate(magnitude);
  return NextNumber(text);
}

const char* ScanDecimal(const char* text, double& value) {
  value = 0.0;
  if (text == nullptr) return nullptr;
  int sign = 1;
  if (*text == '-') {
    sign = -1;
    ++text;
  }
  std::int32_t integerPart;
  const char* next = ScanUInt(text, integerPart);
  if (next == nullptr || next == text || next[-1] != '.') {
    value = static_cast<double>(sign) * integerPart;
    return next;
  }
  // Fraction digits beyond 18 no longer change a double; they are read and dropped.
  std::int64_t fraction = 0;
  long double scale = 1;
  const char* p = next;
  for (int digits = 0; IsDigit(*p); ++p, ++digits) {
    if (digits < 18) {
      fraction = fraction * 10 + (*p - '0');
      scale *= 10;
    }
  }
  value = static_cast<double>((integerPart + fraction / scale) * sign);
  return NextNumber(p);
}

double ScanDouble(const char* text) {
  if (text == nullptr) return 0.0;
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  if (*text == '+' && text[1] != '-') ++text;
  double value = 0.0;
  const auto result = std::from_chars(text, text + std::strlen(text), value);
  // "nan", "inf" and their kin are no numbers: they convert to nothing, like any other text.
  return result.ec == std::errc() && std::isfinite(value) ? value : 0.0;
}

void SortPair(int& a, int& b) {
  if (a > b) std::swap(a, b);
}

std::unique_ptr<HistogramTable> BuildHistogram(const TBitmap* bitmap) {
  if (bitmap == nullptr) return nullptr;
  auto table = std::make_unique<HistogramTable>();
  table->fill(0);
  if (!Is24Bit(bitmap)) return table;
  HistogramTable& h = *table;
  for (int y = 0; y < bitmap->Height(); ++y) {
    const std::uint8_t* p = bitmap->ScanLine(y);
    for (int x = 0; x < bitmap->Width(); ++x, p += 3) {
      ++h[kLuminanceBlock + LuminanceLevel(p[0], p[1], p[2])];
      ++h[kBlueBlock + p[0]];
      ++h[kGreenBlock + p[1]];
      ++h[kRedBlock + p[2]];
    }
  }
  return table;
}

int HistLowLevel(const std::int32_t* block, int n) {
  if (n <= 0) return 0;
  int pos = -1;
  for (int step = 0; step < n; ++step) {
    int next = pos + 1;
    while (next < 256 && block[next] == 0) ++next;
    if (next == 256) break;
    pos = next;
  }
  return pos >= 0 ? pos : 0;
}

int HistHighLevel(const std::int32_t* block, int n) {
  if (n <= 0) return 255;
  int pos = 256;
  for (int step = 0; step < n; ++step) {
    int next = pos - 1;
    while (next >= 0 && block[next] == 0) --next;
    if (next < 0) break;
    pos = next;
  }
  return pos < 256 ? pos : 255;
}

void HistLevelRange(const std::int32_t* block, int n, int& low, int& high) {
  low = HistLowLevel(block, n);
  high = HistHighLevel(block, n);
  SortPair(low, high);
}

int HistQuantile(const std::int32_t* block, int n) {
  n = std::clamp(n, 0, 256);
  double above = 0;
  for (int i = 0; i < 256; ++i) above += block[i];
  double below = 0;
  int i = 0;
  while (i < 256 && (256.0 - n) * above > n * below) {
    below += block[i];
    above -= block[i];
    ++i;
  }
  return i;
}

double GaussRandom(int trials, double mean, double sigma) {
  if (trials < 1) return mean;
  double sum = 0;
  for (int i = 0; i < trials; ++i) sum += ImvoraRandom() * (1.0 / kRandomMax);
  return std::sqrt(3.0 / trials) * sigma * (2 * sum - trials) + mean;
}

void ChannelDifference(TBitmap* a, const TBitmap* b, bool f1, bool f2, bool f3, int o1, int o2,
                       int o3, IFilterHost* host) {
  if (!Is24Bit(a) || !Is24Bit(b) || !(f1 || f2 || f3)) return;
  if (a->Width() != b->Width() || a->Height() != b->Height()) return;
  // Channel 1 is the red byte (2), channel 3 the blue byte (0).
  const bool flagged[3] = {f3, f2, f1};
  const int offsets[3] = {o3, o2, o1};
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{a->Width()};
  const TLaneWidth lanes = LaneWidth();
  ForEachRowBand(a->Height(), host, [&](int first, int last) {
    for (int y = first; y < last; ++y) {
      DifferenceRow(a->ScanLine(y), b->ScanLine(y), rowBytes, 1, offsets, flagged, lanes);
    }
  });
}

void InvertChannels(TBitmap* bitmap, bool f1, bool f2, bool f3, IFilterHost* host) {
  if (!Is24Bit(bitmap) || !(f1 || f2 || f3)) return;
  const bool flagged[3] = {f3, f2, f1};
  const std::ptrdiff_t rowBytes = 3 * std::ptrdiff_t{bitmap->Width()};
  const TLaneWidth lanes = LaneWidth();
  ForEachRowBand(bitmap->Height(), host, [&](int first, int last) {
    for (int y = first; y < last; ++y) InvertRow(bitmap->ScanLine(y), rowBytes, flagged, lanes);
  });
}

std::unique_ptr<TBitmap> CropBitmap(const TBitmap* src, int left, int top, int width, int height) {
  if (!Is24Bit(src) || width <= 0 || height <= 0 || left < 0 || top < 0 || left >= src->Width() ||
      top >= src->Height()) {
    return nullptr;
  }
  width = std::min(width, src->Width() - left);
  height = std::min(height, src->Height() - top);
  auto crop = std::make_unique<TBitmap>(width, height, 24);
  for (int i = 0; i < height; ++i) {
    std::memcpy(crop->ScanLine(i), src->ScanLine(top + i) + 3 * left,
                static_cast<std::size_t>(width) * 3);
  }
  return crop;
}

void PasteBitmap(TBitmap* dst, int left, int top, const TBitmap* src) {
  if (!Is24Bit(dst) || !Is24Bit(src) || left < 0 || top < 0 || left >= dst->Width() ||
      top >= dst->Height()) {
    return;
  }
  const int w = std::min(src->Width(), dst->Width() - left);
  const int h = std::min(src->Height(), dst->Height() - top);
  for (int i = 0; i < h; ++i) {
    std::memcpy(dst->ScanLine(top + i) + 3 * left, src->ScanLine(i),
                static_cast<std::size_t>(w) * 3);
  }
}

RowTable BuildRowTable(TBitmap& bitmap) {
  RowTable rows(bitmap.Height());
  for (int y = 0; y < bitmap.Height(); ++y) rows[y] = bitmap.ScanLine(y);
  return rows;
}

namespace {

// Positions far outside any image only ever read the edge pixels; limiting them first keeps
// the truncation to an integer defined. A position that is not a number reads as 0.
double LimitPosition(double v) {
  if (std::isnan(v)) return 0.0;
  return std::clamp(v, -1e9, 1e9);
}

void SnapWeights(double& w0, double& w1, double snap) {
  if (w0 < snap) {
    w0 = 0;
    w1 = 1;
  } else if (w1 < snap) {
    w0 = 1;
    w1 = 0;
  }
}

}  // namespace

void BilinearSample(int width, int height, const RowTable& rows, double x, double y,
                    std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue, double snap) {
  x = LimitPosition(x);
  y = LimitPosition(y);
  int x0 = static_cast<int>(x), x1 = x0 + 1;
  int y0 = static_cast<int>(y), y1 = y0 + 1;
  double wx0 = x1 - x, wx1 = x - x0;
  double wy0 = y1 - y, wy1 = y - y0;
  SnapWeights(wx0, wx1, snap);
  SnapWeights(wy0, wy1, snap);
  x0 = std::clamp(x0, 0, width - 1);
  x1 = std::clamp(x1, 0, width - 1);
  y0 = std::clamp(y0, 0, height - 1);
  y1 = std::clamp(y1, 0, height - 1);
  std::uint8_t* out[3] = {&blue, &green, &red};
  for (int c = 2; c >= 0; --c) {
    const long double v = (rows[y0][3 * x0 + c] * static_cast<long double>(wx0) +
                           rows[y0][3 * x1 + c] * static_cast<long double>(wx1)) *
                              wy0 +
                          (rows[y1][3 * x0 + c] * static_cast<long double>(wx0) +
                           rows[y1][3 * x1 + c] * static_cast<long double>(wx1)) *
                              wy1;
    *out[c] = static_cast<std::uint8_t>(std::clamp<long double>(std::trunc(v), 0, 255));
  }
}

bool CpuHasSse2() {
  return __builtin_cpu_supports("sse2");
}

void EndMmxState() {}

std::int32_t TruncToInt(long double value) {
  if (std::isnan(value) || value <= -2147483649.0L || value >= 2147483648.0L) {
    throw EImvoraError("Недопустимое числовое значение: результат не помещается в целое число");
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace imvora
