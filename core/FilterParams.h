#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Filter.h"

namespace imvora {

enum class TParamKind {
  Integer,        // edit, decimal integer text
  Real,           // edit, real number text
  TruncatedReal,  // edit, real number text truncated toward zero into an integer field
  Choice,         // drop-down list; the field holds the item index
  Flag            // check box
};

// One filter parameter, declared once: its caption, its control, the bound its change
// handler applies and the rule SetParam follows. The panel's controls, their handlers,
// SetParam and the parameter listing of the command line are all derived from it.
class TParam {
 public:
  static TParam Integer(std::string label, std::int32_t& field);
  static TParam Real(std::string label, double& field, std::string format = "%g");
  static TParam TruncatedReal(std::string label, std::int32_t& field);
  template <class T>
  static TParam Choice(std::string label, T& field, std::vector<std::string> items) {
    TParam p(TParamKind::Choice, std::move(label));
    p.getInt_ = [&field] { return static_cast<std::int64_t>(field); };
    p.setInt_ = [&field](std::int64_t v) { field = static_cast<T>(v); };
    p.scriptMin_ = 0;
    p.scriptMax_ = static_cast<std::int64_t>(items.size()) - 1;
    p.items_ = std::move(items);
    p.width_ = 140;
    return p;
  }
  static TParam Flag(std::string caption, bool& field);

  // Bounds the change handler applies after every conversion, without rewriting the text.
  TParam& AtLeast(std::int64_t min);
  TParam& AtMost(std::int64_t max);
  // SetParam ignores values outside [min, max]; without a range it stores them unchanged.
  TParam& ScriptRange(std::int64_t min, std::int64_t max);
  // SetParam ignores values below min; there is no upper limit.
  TParam& ScriptAtLeast(std::int64_t min);
  // The largest value Apply runs with: a call or the edit may store more, and Apply then
  // refuses with an error. The parameter listing shows it as the upper end.
  TParam& RunsAtMost(std::int64_t max);
  // SetParam stores value / divisor into a real parameter and shows the stored real.
  TParam& ScriptDivisor(double divisor);
  TParam& WithHint(std::string hint);
  TParam& WithWidth(int width);
  // Runs after every value the handler or SetParam stores.
  TParam& OnStored(std::function<void()> hook);
  // Zero is never stored: the change handler turns it into 1 and SetParam ignores it.
  TParam& NonZero();
  // The edit comes with a check box under its label, ticked exactly while the value is
  // negative; ticking or unticking it gives the value that sign and rewrites the edit.
  TParam& WithSignBox(std::string caption);

  TParamKind Kind() const { return kind_; }
  const std::string& Label() const { return label_; }
  const std::string& Hint() const { return hint_; }
  const std::vector<std::string>& Items() const { return items_; }
  int Width() const { return width_; }

  std::string ValueText() const;
  // The change handler of the parameter's edit: converts the whole text and applies the bounds.
  void ConvertText(const std::string& text);
  void StoreChoice(int index);
  // Stores a value from SetParam; false when the value is ignored.
  bool StoreScriptValue(std::int32_t value);
  // The text an existing edit shows after SetParam.
  std::string ScriptText(std::int32_t value) const;
  bool FlagValue() const { return getInt_() != 0; }
  bool HasSignBox() const { return !signCaption_.empty(); }
  const std::string& SignCaption() const { return signCaption_; }
  // What the parameter's check box shows: the flag, or for a sign box whether it is negative.
  bool Ticked() const { return HasSignBox() ? getInt_() < 0 : FlagValue(); }
  // The sign box's handler: the value's magnitude with the given sign, kept in 32 bits.
  void StoreSign(bool negative);
  std::int64_t IntValue() const { return getInt_(); }
  double RealValue() const { return getReal_(); }
  std::string Accepts() const;

 private:
  TParam(TParamKind kind, std::string label);
  void ApplyBounds();
  void Stored() {
    if (onStored_) onStored_();
  }

  TParamKind kind_;
  std::string label_;
  std::string hint_;
  std::string format_ = "%g";
  std::vector<std::string> items_;
  int width_ = 48;
  std::optional<std::int64_t> min_, max_;
  std::optional<std::int64_t> scriptMin_, scriptMax_, runMax_;
  double scriptDivisor_ = 1.0;
  bool nonZero_ = false;
  std::string signCaption_;
  std::function<std::int64_t()> getInt_;
  std::function<void(std::int64_t)> setInt_;
  std::function<double()> getReal_;
  std::function<void(double)> setReal_;
  std::function<void()> onStored_;
};

// Where the edits of a column of parameters stand.
enum class TEditColumn {
  FirstEdit,   // every edit under the first one, 8 pixels right of the first label
  OwnLabel,    // each edit 8 pixels right of its own label
  WidestLabel  // every edit 8 pixels right of the widest label
};
// Which control sets the panel's client width (its right edge plus 8).
enum class TPanelWidthFrom { FirstControl, LastControl };

// A filter whose parameters are declared with TParam. The default layout puts labels at the
// left (Left 8, Top 12, then each LabelSpacing below the previous label's bottom) and the edits
// and lists at the right (Top 8, then each 8 below the previous one), check boxes below them
// across the panel. Filters with another layout override CreateControls and use the
// Build... helpers, which create a control with its initial content and its handler.
class TParamFilter : public TImvoraFilter {
 public:
  TParamFilter() = default;
  TParamFilter(const TParamFilter&) = delete;
  TParamFilter& operator=(const TParamFilter&) = delete;

  void CreateControls(TPanel& parent) override;
  void DestroyControls() override;
  void SetParam(std::int32_t index, std::int32_t value) override;
  std::vector<TParamDescription> DescribeParams() const override;

  // The controls of parameter i, or null while they do not exist.
  TLabel* LabelOf(int i) const;
  TEdit* EditOf(int i) const;
  TComboBox* ComboOf(int i) const;
  TCheckBox* CheckOf(int i) const;
  bool HasControls() const { return !controls_.empty(); }
  int ParamCount() const { return static_cast<int>(params_.size()); }

 protected:
  TParam& AddParam(TParam param);

  TEditColumn EditColumn = TEditColumn::FirstEdit;
  TPanelWidthFrom PanelWidthFrom = TPanelWidthFrom::FirstControl;
  int LabelSpacing = 16;

  // Building blocks of a layout: each creates the control unplaced (labels sized to their
  // caption) and keeps it until DestroyControls.
  TLabel& BuildLabel(TPanel& parent, int i);
  TEdit& BuildEdit(TPanel& parent, int i);
  TComboBox& BuildCombo(TPanel& parent, int i);
  TCheckBox& BuildCheck(TPanel& parent, int i);
  // Label or check box caption of an extra control that belongs to no parameter.
  TLabel& BuildExtraLabel(TPanel& parent, const std::string& caption);

 private:
  struct TParamControls {
    std::unique_ptr<TLabel> Label;
    std::unique_ptr<TEdit> Edit;
    std::unique_ptr<TComboBox> Combo;
    std::unique_ptr<TCheckBox> Check;
    TControl* Main() const;
  };
  TParamControls& ControlsOf(int i);
  int ControlColumnLeft(int i, const std::vector<TLabel*>& labels) const;

  std::vector<TParam> params_;
  std::vector<TParamControls> controls_;
  std::vector<std::unique_ptr<TLabel>> extraLabels_;
};

}  // namespace imvora
