#pragma once

#include <cstdint>
#include <string>

#include "core/FilterParams.h"

namespace imvora {

// Adds normally distributed random values to the flagged channels ("GaussianNoise").
class TGaussianNoiseFilter : public TParamFilter {
 public:
  TGaussianNoiseFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;
  std::string StateBetweenFiles() const override { return "общий датчик случайных чисел"; }

  TLabel* MeanLabel() const { return LabelOf(0); }
  TEdit* MeanEdit() const { return EditOf(0); }
  TLabel* DeviationLabel() const { return LabelOf(1); }
  TEdit* DeviationEdit() const { return EditOf(1); }
  TLabel* TrialsLabel() const { return LabelOf(2); }
  TEdit* TrialsEdit() const { return EditOf(2); }

  std::int32_t Mean = 128;      // 0 ... 255
  std::int32_t Deviation = 64;  // at least 1
  std::int32_t Trials = 20;     // uniform draws summed per value, at least 1
};

}  // namespace imvora
