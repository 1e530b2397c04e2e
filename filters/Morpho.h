#pragma once

#include <cstdint>

#include "core/FilterParams.h"
#include "filters/InPlaceRows.h"

namespace imvora {

// Grey-level morphology of each flagged byte over a (2r + 1) x (2r + 1) window cut at the
// bitmap's edges. The operations are named for dark objects on a light background.
class TMorphoFilter : public TParamFilter {
 public:
  enum TOperation : std::int8_t {
    kShrink = 0,        // "сужение": window maximum
    kGrow = 1,          // "расширение": window minimum
    kOpening = 2,       // "открытие": maximum, then minimum of that
    kClosing = 3,       // "закрытие": minimum, then maximum of that
    kInnerContour = 4,  // "внутренний контур": window maximum minus the image
    kOuterContour = 5   // "внешний контур": the image minus the window minimum
  };

  TMorphoFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  // The two window passes: destination becomes a copy of source whose flagged bytes hold the
  // window maximum (minimum). Nothing happens for a missing bitmap, no flag or different sizes.
  void MaxFilter(const TBitmap* source, TBitmap* destination, bool flag1, bool flag2,
                 bool flag3) const;
  void MinFilter(const TBitmap* source, TBitmap* destination, bool flag1, bool flag2,
                 bool flag3) const;

  TLabel* RadiusLabel() const { return LabelOf(0); }
  TEdit* RadiusEdit() const { return EditOf(0); }
  TLabel* OperationLabel() const { return LabelOf(1); }
  TComboBox* OperationComboBox() const { return ComboOf(1); }

  // Window half-width; SetParam ignores values below 1.
  std::int32_t Radius = 1;
  // TOperation code; any other value leaves the image as it is.
  std::int8_t Operation = kShrink;
  // Plain scans every window in full, as the operations are defined; Fast streams the rows
  // through separable vector passes. Both give the same bytes.
  TWindowScan Scan = TWindowScan::Fast;

 private:
  void Pass(bool maximum, const TBitmap* source, TBitmap* destination, bool flag1, bool flag2,
            bool flag3) const;
  void ApplyPlainly(TBitmap& bitmap, bool flag1, bool flag2, bool flag3) const;

  mutable TWindowScratch scratch_;
};

}  // namespace imvora
