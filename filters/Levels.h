#pragma once

#include <memory>

#include "core/Filter.h"
#include "filters/LevelsForm.h"

namespace imvora {

// Brightness levels through a transfer curve drawn in the filter's own editor ("Levels").
// Per channel, each flagged byte b becomes Curve[b]; with the editor's "применять к
// совокупности каналов" (the default) the flagged channels are scaled by Curve[L] / L of
// their luminance L, which keeps their ratios.
class TLevelsFilter : public TImvoraFilter {
 public:
  TLevelsFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;
  // Shows the editor on the panel, which resets the curve to the identity.
  void CreateControls(TPanel& parent) override;
  void DestroyControls() override;
  // Parameter i (0 ... 255) is the output level 0 ... 255 of the input level i; anything
  // else is ignored.
  void SetParam(std::int32_t index, std::int32_t value) override;
  std::vector<TParamDescription> DescribeParams() const override;

  // Holds the curve and the mode whether or not it is shown; lives as long as the filter.
  std::unique_ptr<TLevelsForm> Editor;
};

}  // namespace imvora
