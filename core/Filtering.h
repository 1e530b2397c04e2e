#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/Raster.h"

namespace imvora {

class IFilterHost;

// 1024 counters: red block 0..255, green 256..511, blue 512..767, luminance 768..1023.
using HistogramTable = std::array<std::int32_t, 1024>;
constexpr int kRedBlock = 0;
constexpr int kGreenBlock = 256;
constexpr int kBlueBlock = 512;
constexpr int kLuminanceBlock = 768;

// Text scanners. Each returns the position of the next number, or nullptr when none follows.
// Accumulation saturates at the 32-bit limits, so a longer number reads as the nearest limit.
const char* ScanInt(const char* text, std::int32_t& value);
const char* ScanUInt(const char* text, std::int32_t& value);
const char* ScanDecimal(const char* text, double& value);
// The finite real number at the start of the text (after blanks); 0.0 when none converts,
// which includes "nan", "inf" and numbers beyond the double range.
double ScanDouble(const char* text);

void SortPair(int& a, int& b);

// The luminance used throughout: the double weights 0.114, 0.587, 0.299 applied to blue, green
// and red and summed in that order in 80-bit extended precision, where every step is exact.
// The weights add up to slightly less than one, so a grey (v, v, v) lies just below v.
inline long double Luminance(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  return static_cast<long double>(blue) * 0.114 + static_cast<long double>(green) * 0.587 +
         static_cast<long double>(red) * 0.299;
}
// The luminance truncated to its level 0..254.
inline int LuminanceLevel(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  return static_cast<int>(Luminance(blue, green, red));
}

// Histogram of a 24-bit bitmap; none for a missing bitmap.
std::unique_ptr<HistogramTable> BuildHistogram(const TBitmap* bitmap);
// Level searches over one 256-counter block.
int HistLowLevel(const std::int32_t* block, int n);
int HistHighLevel(const std::int32_t* block, int n);
void HistLevelRange(const std::int32_t* block, int n, int& low, int& high);
int HistQuantile(const std::int32_t* block, int n);

// Approximately normal deviate from the sum of `trials` uniform draws of ImvoraRandom.
double GaussRandom(int trials, double mean, double sigma);

// Both run their rows in bands on the worker threads; a host gets the progress and may cancel.
void ChannelDifference(TBitmap* a, const TBitmap* b, bool f1, bool f2, bool f3, int o1, int o2,
                       int o3, IFilterHost* host = nullptr);
void InvertChannels(TBitmap* bitmap, bool f1, bool f2, bool f3, IFilterHost* host = nullptr);

// Copy of a rectangle of a 24-bit bitmap; none when the rectangle is empty or starts outside.
// A rectangle reaching past the right or bottom edge is cut at the edge.
std::unique_ptr<TBitmap> CropBitmap(const TBitmap* src, int left, int top, int width, int height);
void PasteBitmap(TBitmap* dst, int left, int top, const TBitmap* src);

using RowTable = std::vector<std::uint8_t*>;
RowTable BuildRowTable(TBitmap& bitmap);

void BilinearSample(int width, int height, const RowTable& rows, double x, double y,
                    std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue, double snap);

bool CpuHasSse2();
// Kept for the packed-integer paths; the compiler's vector code needs no state reset on x86-64.
void EndMmxState();

// Byte of a real value: negative or not a number gives 0, above 255 gives 255, otherwise the
// value truncated toward zero. Inline, since per-pixel loops call it: an out-of-line call with
// an 80-bit argument costs several times the conversion itself.
inline std::uint8_t ToByte(long double value) {
  if (!(value >= 0)) return 0;
  if (value > 255) return 255;
  return static_cast<std::uint8_t>(value);
}

// Converts a real value to a 32-bit integer by truncation toward zero. A value that is not a
// number or lies outside the 32-bit range is an EImvoraError rather than undefined behaviour.
std::int32_t TruncToInt(long double value);

}  // namespace imvora
