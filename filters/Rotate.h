#pragma once

#include "core/FilterParams.h"

namespace imvora {

// Turns the image about its centre by an angle in degrees on a canvas of the same size,
// resampling with BilinearSample ("Rotate"). Any flag runs it; all three bytes are rewritten.
class TRotateFilter : public TParamFilter {
 public:
  TRotateFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* AngleLabel() const { return LabelOf(0); }
  TEdit* AngleEdit() const { return EditOf(0); }
  TLabel* ThresholdLabel() const { return LabelOf(1); }
  TEdit* ThresholdEdit() const { return EditOf(1); }

  // Degrees; positive turns the picture clockwise on the screen.
  double Angle = 90.0;
  // Snap threshold of the sampler; a filter call gives it in hundredths.
  double BlendThreshold = 0.1;
};

}  // namespace imvora
