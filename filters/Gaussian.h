#pragma once

#include <cstdint>
#include <vector>

#include "core/FilterParams.h"
#include "filters/WeightedSums.h"

namespace imvora {

// The widest kernel GaussBlur builds: taps whose weight is not exactly 0 may reach this far
// on either side. A wider one is refused with an error instead of exhausting the memory.
constexpr std::int32_t kMaxGaussHalfWidth = 1 << 22;

// The normalised weights w[i + h] = exp(-i² / (2σ²)) / Σ for i = -h ... h. h is the radius,
// cut to the last i whose weight is not 0: the taps beyond add exact zeros to every sum, so
// leaving them out changes no result. Throws EImvoraError when h exceeds kMaxGaussHalfWidth.
std::vector<double> GaussKernel(std::int32_t radius, double sigma);

// Writes the blurred flagged channels of source into destination (which may be source):
// a horizontal pass quantised to bytes, then a vertical pass, both with the kernel of radius
// and sigma and the border rule of MirrorIndex. Unflagged bytes of destination keep the
// source's values. Nothing happens without a flag, without a bitmap or with sigma < 1e-10.
void GaussBlur(const TBitmap* source, TBitmap* destination, std::int32_t radius, double sigma,
               bool flag1, bool flag2, bool flag3, TLaneWidth lanes = WidestLanes());

// Gaussian blur of the flagged channels ("Gauss"); the base of GSharpen and LightAlign, which
// share its two parameters and its panel.
class TGaussFilter : public TParamFilter {
 public:
  TGaussFilter() : TGaussFilter("Gauss", 1, 3.0) {}
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* RadiusLabel() const { return LabelOf(0); }
  TEdit* RadiusEdit() const { return EditOf(0); }
  TLabel* SigmaLabel() const { return LabelOf(1); }
  TEdit* SigmaEdit() const { return EditOf(1); }

  // Kernel half-width; a negative value (possible through SetParam) blurs like 0.
  std::int32_t Radius;
  double Sigma;

 protected:
  TGaussFilter(const char* name, std::int32_t radius, double sigma);
  // Blurs source into destination with this filter's parameters.
  void Blur(const TBitmap* source, TBitmap* destination, bool flag1, bool flag2, bool flag3) const;
};

}  // namespace imvora
