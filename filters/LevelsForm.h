#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Controls.h"

namespace imvora {

// The designed controls of the curve editor; they exist while the editor is shown. Positions
// are relative to Form.
struct TLevelsControls {
  std::unique_ptr<TGroup> Form;
  std::unique_ptr<TPaintBox> LevPaintBox;
  std::unique_ptr<TCheckBox> InterpolCheck;
  std::unique_ptr<TCheckBox> GrCheckBox;
  std::unique_ptr<TButton> ResetButton;
  std::unique_ptr<TButton> InvertButton;
  std::unique_ptr<TLabel> Label1;
  std::unique_ptr<TEdit> PowEdit;
  std::unique_ptr<TButton> PowButton;
};

// The curve editor of the levels filter: a 256 × 256 area where the mouse draws the transfer
// curve (input level i is column i; output level c is a black bar from the bottom, so the
// mouse's row Y stands for the level 256 − Y), two check boxes and buttons that reset, invert
// or raise the curve to a power. Its state lives here whether or not its controls are shown.
class TLevelsForm {
 public:
  static constexpr int kClientWidth = 272;
  static constexpr int kClientHeight = 416;
  static constexpr int kBoxSize = 256;

  TLevelsForm();
  TLevelsForm(const TLevelsForm&) = delete;
  TLevelsForm& operator=(const TLevelsForm&) = delete;

  // Builds the controls on the panel at (left, top) and runs FormShow.
  void Show(TPanel& parent, int left, int top);
  // Drops the controls; the curve and the check box states stay.
  void Hide();
  bool Visible() const { return controls_ != nullptr; }
  const TLevelsControls* Controls() const { return controls_.get(); }

  void LevPaintBoxMouseDown(int x, int y);
  void LevPaintBoxMouseMove(int x, int y);
  void LevPaintBoxMouseUp(int x, int y);
  void LevPaintBoxPaint(TCanvas& canvas) const;
  void FormShow();
  void ResetButtonClick();
  void InvertButtonClick();
  void PowButtonClick();
  // Repaints the whole curve area while it is shown.
  void Redraw();

  // Curve[i] is the output level 0 ... 255 of the input level i.
  std::array<std::int32_t, 256> Curve;
  bool Dragging = false;
  std::int32_t LastX = 0, LastY = 0;
  // The states of InterpolCheck and GrCheckBox and the text of PowEdit.
  bool Interpolation = true;
  bool ApplyToLuminance = true;
  std::string PowText = "1.0";

 private:
  void BuildControls(TGroup& form);
  void RedrawColumns(int first, int last);
  // Fills the undefined entries between a and j linearly (inversion).
  void FillGap(int a, int j);

  std::unique_ptr<TLevelsControls> controls_;
};

}  // namespace imvora
