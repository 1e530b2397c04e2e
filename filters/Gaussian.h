#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/FilterParams.h"
#include "filters/ScratchPool.h"
#include "filters/WeightedSums.h"

namespace imvora {

// The widest kernel GaussBlur builds: taps whose weight is not exactly 0 may reach this far
// on either side. A wider one is refused with an error instead of exhausting the memory.
constexpr std::int32_t kMaxGaussHalfWidth = 1 << 22;

// The normalised weights w[i + h] = exp(-i² / (2σ²)) / Σ for i = -h ... h. h is the radius,
// cut to the last i whose weight is not 0: the taps beyond add exact zeros to every sum, so
// leaving them out changes no result. Throws EImvoraError when h exceeds kMaxGaussHalfWidth.
std::vector<double> GaussKernel(std::int32_t radius, double sigma);

// Receives row y of a blur (all three bytes of every pixel) while row y of the bitmap still
// holds its input, and may rewrite that row of the bitmap (and no other).
using TBlurredRow = std::function<void(int y, const std::uint8_t* blurred)>;

struct TGaussBand;

// The separable blur of a whole bitmap, streamed: each band of rows runs its horizontal pass
// into a ring of a few rows and its vertical pass from there, so no full-size copy is made.
// Keeps its working rows from call to call.
class TGaussRows {
 public:
  TGaussRows();
  ~TGaussRows();
  // Blurs with the kernel w across (quantised to bytes) and then down, both passes mirrored at
  // the borders by MirrorIndex, and hands every blurred row to consume. Bands run on the worker
  // threads; the host gets their progress and may cancel between them.
  void Run(TBitmap& bitmap, const std::vector<double>& w, TLaneWidth lanes, IFilterHost* host,
           const TBlurredRow& consume);

 private:
  std::vector<std::uint8_t> halo_;
  TScratchPool<TGaussBand> bands_;
};

// The blur as it is defined, pixel by pixel: the horizontal pass of every byte into a full
// copy, then the vertical pass from it. The plain path the streamed one is proved against.
void GaussBlurPlain(const TBitmap& source, TBitmap& destination, const std::vector<double>& w,
                    const bool flagged[3]);

// Writes the blurred flagged channels of source into destination (which may be source):
// a horizontal pass quantised to bytes, then a vertical pass, both with the kernel of radius
// and sigma and the border rule of MirrorIndex. Unflagged bytes of destination keep the
// source's values. Nothing happens without a flag, without a bitmap or with sigma < 1e-10.
void GaussBlur(const TBitmap* source, TBitmap* destination, std::int32_t radius, double sigma,
               bool flag1, bool flag2, bool flag3, TLaneWidth lanes = LaneWidth());

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
  // The kernel of the parameters; empty when sigma < 1e-10 (or not a number): no blur.
  std::vector<double> Kernel() const;
  // Streams the blur of the bitmap with this filter's parameters to consume; without a blur
  // to make (sigma < 1e-10) the rows it hands over are the input rows.
  void BlurRows(TBitmap& bitmap, const TBlurredRow& consume);

 private:
  TGaussRows rows_;
};

}  // namespace imvora
