#pragma once

#include <cstdint>
#include <functional>

#include "core/FilterParams.h"

namespace imvora {

// Luma and chroma of a pixel, each truncated to a byte.
struct TYuv {
  std::uint8_t Y, U, V;
};
// Both conversions take their weights as the nearest doubles, as the luminance does, and
// evaluate in extended precision; every grey keeps U = V = 128.
TYuv RgbToYuv(std::uint8_t red, std::uint8_t green, std::uint8_t blue);
void YuvToRgb(const TYuv& yuv, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);

// How the windows are scanned: value by value, or sixteen centres side by side (SSE2) where
// whole window rows lie inside the plane. Both give the same bytes.
enum class TCleanerScan { Plain, Vector };

// Replaces every value of a width × height plane by the truncated mean of the values of its
// (2 radius + 1)² window, clipped at the plane's edges, that differ from it by at most
// threshold (the centre always counts). Negative radius and threshold act as 0. `out` receives
// the result and must not be `plane`. `beforeRow`, when given, runs before each row (progress).
void CleanPlane(const std::uint8_t* plane, int width, int height, std::int32_t radius,
                std::int32_t threshold, std::uint8_t* out, TCleanerScan scan,
                const std::function<void(int)>& beforeRow = {});

// "2DCleaner": edge-keeping noise removal on the luma and chroma of the picture. Works only
// with all three channels flagged.
class T2DCleanerFilter : public TParamFilter {
 public:
  T2DCleanerFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* RadiusLabel() const { return LabelOf(0); }
  TEdit* RadiusEdit() const { return EditOf(0); }
  TLabel* ThresholdLabel() const { return LabelOf(1); }
  TEdit* ThresholdEdit() const { return EditOf(1); }

  std::int32_t Radius = 1;
  std::int32_t Threshold = 20;
  TCleanerScan Scan = TCleanerScan::Vector;
};

}  // namespace imvora
