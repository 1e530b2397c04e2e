#pragma once

#include <cstdint>

#include "core/FilterParams.h"

namespace imvora {

// More coefficients describe nothing a glyph recogniser can use, and each object costs the
// square of the count.
constexpr std::int32_t kMaxCoefCount = 1000;

// "ContourRecognition": runs the built-in chain of filter calls on the document (colour
// correction, two-colour k-means, colour correction, binarization, glyph markup, inner
// contour, negative, contour markup), so that the document ends with the contour picture and
// the contour markup, then hands the document the contour set of the dark glyphs, sorted from
// left to right.
class TContourRecognitionFilter : public TParamFilter {
 public:
  TContourRecognitionFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;
  // Info label across the top, then "Разложение на:" and its edit below it.
  void CreateControls(TPanel& parent) override;
  void DestroyControls() override;
  // The count is set in its edit only; a filter call leaves it alone.
  void SetParam(std::int32_t index, std::int32_t value) override;
  std::vector<TParamDescription> DescribeParams() const override;
  // Its chain sets the parameters of the filters it calls, which a later line may rely on.
  std::string StateBetweenFiles() const override { return "параметры фильтров своей цепочки"; }

  TLabel* InfoLabel() const { return infoLabel_; }
  TLabel* CountLabel() const { return LabelOf(0); }
  TEdit* CountEdit() const { return EditOf(0); }

  // Chebyshev coefficients per coordinate: 2 ... kMaxCoefCount.
  std::int32_t CoefCount = 20;

 private:
  TLabel* infoLabel_ = nullptr;
};

}  // namespace imvora
