#include "core/FilterParams.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/TextConvert.h"

namespace imvora {
namespace {

constexpr std::int64_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kIntMax = std::numeric_limits<std::int32_t>::max();

}  // namespace

TParam::TParam(TParamKind kind, std::string label) : kind_(kind), label_(std::move(label)) {}

TParam TParam::Integer(std::string label, std::int32_t& field) {
  TParam p(TParamKind::Integer, std::move(label));
  p.getInt_ = [&field] { return field; };
  p.setInt_ = [&field](std::int64_t v) { field = static_cast<std::int32_t>(v); };
  return p;
}

TParam TParam::TruncatedReal(std::string label, std::int32_t& field) {
  TParam p = Integer(std::move(label), field);
  p.kind_ = TParamKind::TruncatedReal;
  return p;
}

TParam TParam::Real(std::string label, double& field, std::string format) {
  TParam p(TParamKind::Real, std::move(label));
  p.format_ = std::move(format);
  p.getReal_ = [&field] { return field; };
  p.setReal_ = [&field](double v) { field = v; };
  return p;
}

TParam TParam::Flag(std::string caption, bool& field) {
  TParam p(TParamKind::Flag, std::move(caption));
  p.getInt_ = [&field] { return field ? 1 : 0; };
  p.setInt_ = [&field](std::int64_t v) { field = v != 0; };
  return p;
}

TParam& TParam::AtLeast(std::int64_t min) {
  min_ = min;
  return *this;
}

TParam& TParam::AtMost(std::int64_t max) {
  max_ = max;
  return *this;
}

TParam& TParam::ScriptRange(std::int64_t min, std::int64_t max) {
  scriptMin_ = min;
  scriptMax_ = max;
  return *this;
}

TParam& TParam::ScriptAtLeast(std::int64_t min) {
  scriptMin_ = min;
  scriptMax_.reset();
  return *this;
}

TParam& TParam::RunsAtMost(std::int64_t max) {
  runMax_ = max;
  return *this;
}

TParam& TParam::ScriptDivisor(double divisor) {
  scriptDivisor_ = divisor;
  return *this;
}

TParam& TParam::WithHint(std::string hint) {
  hint_ = std::move(hint);
  return *this;
}

TParam& TParam::WithWidth(int width) {
  width_ = width;
  return *this;
}

TParam& TParam::OnStored(std::function<void()> hook) {
  onStored_ = std::move(hook);
  return *this;
}

TParam& TParam::NonZero() {
  nonZero_ = true;
  return *this;
}

TParam& TParam::WithSignBox(std::string caption) {
  signCaption_ = std::move(caption);
  return *this;
}

std::string TParam::ValueText() const {
  if (kind_ == TParamKind::Real) return FormatReal(getReal_(), format_.c_str());
  return std::to_string(getInt_());
}

void TParam::ApplyBounds() {
  if (kind_ == TParamKind::Real) {
    double v = getReal_();
    if (min_ && v < *min_) v = static_cast<double>(*min_);
    if (max_ && v > *max_) v = static_cast<double>(*max_);
    setReal_(v);
    return;
  }
  std::int64_t v = getInt_();
  if (min_) v = std::max(v, *min_);
  if (max_) v = std::min(v, *max_);
  setInt_(v);
}

void TParam::ConvertText(const std::string& text) {
  switch (kind_) {
    case TParamKind::Integer: {
      std::int32_t v;
      if (TryParseInt(text, v)) setInt_(v);
      break;
    }
    case TParamKind::TruncatedReal: {
      // A value the 32-bit field cannot hold does not convert, as for the integer edits.
      double v;
      if (TryParseReal(text, v) && std::trunc(v) >= kIntMin && std::trunc(v) <= kIntMax) {
        setInt_(static_cast<std::int64_t>(std::trunc(v)));
      }
      break;
    }
    case TParamKind::Real: {
      double v;
      if (TryParseReal(text, v)) setReal_(v);
      break;
    }
    default:
      return;
  }
  if (nonZero_ && getInt_() == 0) setInt_(1);
  ApplyBounds();
  Stored();
}

void TParam::StoreChoice(int index) {
  setInt_(index);
  Stored();
}

bool TParam::StoreScriptValue(std::int32_t value) {
  if (nonZero_ && value == 0) return false;
  if (scriptMin_ && value < *scriptMin_) return false;
  if (scriptMax_ && value > *scriptMax_) return false;
  if (kind_ == TParamKind::Real) {
    setReal_(value / scriptDivisor_);
  } else {
    setInt_(value);
  }
  Stored();
  return true;
}

void TParam::StoreSign(bool negative) {
  // The magnitude of the lowest 32-bit value has no positive counterpart: it becomes the highest.
  const std::int64_t magnitude = std::abs(getInt_());
  setInt_(negative ? -magnitude : std::min(magnitude, kIntMax));
  ApplyBounds();
  Stored();
}

std::string TParam::ScriptText(std::int32_t value) const {
  if (kind_ == TParamKind::Real && scriptDivisor_ != 1.0) return ValueText();
  return std::to_string(value);
}

std::string TParam::Accepts() const {
  switch (kind_) {
    case TParamKind::Choice: {
      std::string text;
      for (std::size_t i = 0; i < items_.size(); ++i) {
        text += (i ? ", " : "") + std::to_string(i) + " = " + items_[i];
      }
      return text;
    }
    case TParamKind::Flag:
      return "0 = нет, иначе да";
    case TParamKind::Real:
      return scriptDivisor_ != 1.0 ? "целое, делится на " + FormatReal(scriptDivisor_, "%g")
                                   : "целое (как вещественное)";
    default: {
      // A call stores what the script range admits; the edit's bounds do not apply to it.
      std::string text = "целое";
      const auto lo = scriptMin_;
      const auto hi = scriptMax_ ? scriptMax_ : runMax_;
      if (lo && hi) return text + " " + std::to_string(*lo) + " ... " + std::to_string(*hi);
      if (lo) return text + " >= " + std::to_string(*lo);
      if (hi) return text + " <= " + std::to_string(*hi);
      if (nonZero_) text += ", не 0";
      if (HasSignBox()) text += " (меньше 0 — «" + signCaption_ + "»)";
      return text;
    }
  }
}

TControl* TParamFilter::TParamControls::Main() const {
  if (Edit) return Edit.get();
  if (Combo) return Combo.get();
  return Check.get();
}

TParam& TParamFilter::AddParam(TParam param) {
  params_.push_back(std::move(param));
  return params_.back();
}

TParamFilter::TParamControls& TParamFilter::ControlsOf(int i) {
  if (controls_.size() != params_.size()) controls_.resize(params_.size());
  return controls_[i];
}

TLabel* TParamFilter::LabelOf(int i) const {
  return i >= 0 && i < static_cast<int>(controls_.size()) ? controls_[i].Label.get() : nullptr;
}
TEdit* TParamFilter::EditOf(int i) const {
  return i >= 0 && i < static_cast<int>(controls_.size()) ? controls_[i].Edit.get() : nullptr;
}
TComboBox* TParamFilter::ComboOf(int i) const {
  return i >= 0 && i < static_cast<int>(controls_.size()) ? controls_[i].Combo.get() : nullptr;
}
TCheckBox* TParamFilter::CheckOf(int i) const {
  return i >= 0 && i < static_cast<int>(controls_.size()) ? controls_[i].Check.get() : nullptr;
}

TLabel& TParamFilter::BuildLabel(TPanel& parent, int i) {
  auto& slot = ControlsOf(i).Label;
  slot = std::make_unique<TLabel>(parent);
  slot->SetCaption(params_[i].Label());
  slot->SetHint(params_[i].Hint());
  return *slot;
}

TLabel& TParamFilter::BuildExtraLabel(TPanel& parent, const std::string& caption) {
  extraLabels_.push_back(std::make_unique<TLabel>(parent));
  extraLabels_.back()->SetCaption(caption);
  return *extraLabels_.back();
}

TEdit& TParamFilter::BuildEdit(TPanel& parent, int i) {
  auto& slot = ControlsOf(i).Edit;
  slot = std::make_unique<TEdit>(parent);
  slot->SetWidth(params_[i].Width());
  slot->SetHint(params_[i].Hint());
  // The initial text is set before the handler exists, so creating the panel changes nothing.
  slot->SetText(params_[i].ValueText());
  TEdit* edit = slot.get();
  slot->OnChange = [this, i, edit] {
    params_[i].ConvertText(edit->Text());
    if (params_[i].HasSignBox()) {
      if (TCheckBox* box = CheckOf(i)) box->SetChecked(params_[i].Ticked());
    }
  };
  return *slot;
}

TComboBox& TParamFilter::BuildCombo(TPanel& parent, int i) {
  auto& slot = ControlsOf(i).Combo;
  slot = std::make_unique<TComboBox>(parent);
  slot->SetWidth(params_[i].Width());
  slot->SetItems(params_[i].Items());
  // A list always opens on its first item, whatever the parameter holds.
  slot->SetItemIndex(0);
  TComboBox* combo = slot.get();
  slot->OnChange = [this, i, combo] { params_[i].StoreChoice(combo->ItemIndex()); };
  return *slot;
}

TCheckBox& TParamFilter::BuildCheck(TPanel& parent, int i) {
  auto& slot = ControlsOf(i).Check;
  slot = std::make_unique<TCheckBox>(parent);
  const TParam& param = params_[i];
  slot->SetCaption(param.HasSignBox() ? param.SignCaption() : param.Label());
  slot->SetHint(param.Hint());
  // A check box always opens unticked. A flag's filter reads it when it applies; a sign box
  // gives its parameter the sign it shows.
  if (param.HasSignBox()) {
    TCheckBox* box = slot.get();
    slot->OnClick = [this, i, box] {
      params_[i].StoreSign(box->Checked());
      if (TEdit* edit = EditOf(i)) edit->SetText(params_[i].ValueText());
    };
  }
  return *slot;
}

int TParamFilter::ControlColumnLeft(int i, const std::vector<TLabel*>& labels) const {
  switch (EditColumn) {
    case TEditColumn::OwnLabel:
      return labels[i]->Right() + 8;
    case TEditColumn::WidestLabel: {
      int right = 0;
      for (TLabel* label : labels) {
        if (label) right = std::max(right, label->Right());
      }
      return right + 8;
    }
    default:
      for (TLabel* label : labels) {
        if (label) return label->Right() + 8;
      }
      return 8;
  }
}

void TParamFilter::CreateControls(TPanel& parent) {
  DestroyControls();
  const int count = ParamCount();
  std::vector<TLabel*> labels(count, nullptr);
  TControl* previousLeft = nullptr;
  for (int i = 0; i < count; ++i) {
    if (params_[i].Kind() == TParamKind::Flag) continue;
    TLabel& label = BuildLabel(parent, i);
    label.SetLeft(8);
    label.SetTop(previousLeft ? previousLeft->Bottom() + LabelSpacing : 12);
    labels[i] = &label;
    previousLeft = &label;
    if (params_[i].HasSignBox()) {
      // The sign box stands where the next label would, as wide as the label and its edit.
      TCheckBox& box = BuildCheck(parent, i);
      box.SetBounds(8, label.Bottom() + LabelSpacing, label.Width() + params_[i].Width() + 8,
                    box.Height());
      previousLeft = &box;
    }
  }
  TControl* first = nullptr;
  TControl* previous = nullptr;
  for (int i = 0; i < count; ++i) {
    if (params_[i].Kind() == TParamKind::Flag) continue;
    TControl& control = params_[i].Kind() == TParamKind::Choice
                            ? static_cast<TControl&>(BuildCombo(parent, i))
                            : static_cast<TControl&>(BuildEdit(parent, i));
    control.SetLeft(ControlColumnLeft(i, labels));
    control.SetTop(previous ? previous->Bottom() + 8 : 8);
    if (!first) first = &control;
    previous = &control;
  }
  if (previous) {
    const TControl* widthSource =
        PanelWidthFrom == TPanelWidthFrom::FirstControl ? first : previous;
    parent.SetClientWidth(widthSource->Right() + 8);
  }
  for (int i = 0; i < count; ++i) {
    if (params_[i].Kind() != TParamKind::Flag) continue;
    TCheckBox& check = BuildCheck(parent, i);
    check.SetBounds(8, previous ? previous->Bottom() + 8 : 8, parent.ClientWidth() - 16,
                    check.Height());
    previous = &check;
  }
}

void TParamFilter::DestroyControls() {
  controls_.clear();
  extraLabels_.clear();
}

void TParamFilter::SetParam(std::int32_t index, std::int32_t value) {
  if (index < 0 || index >= ParamCount()) return;
  TParam& param = params_[index];
  if (!param.StoreScriptValue(value)) return;
  if (TEdit* edit = EditOf(index)) edit->SetText(param.ScriptText(value));
  if (TComboBox* combo = ComboOf(index)) combo->SetItemIndex(value);
  if (TCheckBox* check = CheckOf(index)) check->SetChecked(param.Ticked());
}

std::vector<TParamDescription> TParamFilter::DescribeParams() const {
  std::vector<TParamDescription> list;
  for (const TParam& p : params_) list.push_back({p.Label(), p.Accepts()});
  return list;
}

}  // namespace imvora
