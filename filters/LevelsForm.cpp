#include "filters/LevelsForm.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <utility>

#include "core/Filtering.h"

namespace imvora {
namespace {

constexpr int kLastLevel = 255;
// A curve entry the inversion has not defined yet.
constexpr std::int32_t kUndefined = -1;

// The level of a real value: a value that is not a number or is negative gives 0, a value
// above 255 gives 255, any other is truncated toward zero. An exponent below 0 (or pow(0, p)
// with p < 0, which is infinite) would otherwise leave levels above 255.
std::int32_t LevelOf(long double value) {
  if (!(value >= 0)) return 0;
  if (value > kLastLevel) return kLastLevel;
  return static_cast<std::int32_t>(value);
}

std::unique_ptr<TCheckBox> MakeCheck(TGroup& form, int top, const char* caption, bool& state) {
  auto check = std::make_unique<TCheckBox>(form);
  check->SetBounds(8, top, 257, 17);
  check->SetCaption(caption);
  check->SetChecked(state);
  TCheckBox* box = check.get();
  check->OnClick = [box, &state] { state = box->Checked(); };
  return check;
}

std::unique_ptr<TButton> MakeButton(TGroup& form, int left, int top, int width, const char* caption,
                                    std::function<void()> onClick) {
  auto button = std::make_unique<TButton>(form);
  button->SetBounds(left, top, width, 25);
  button->SetCaption(caption);
  button->OnClick = std::move(onClick);
  return button;
}

}  // namespace

TLevelsForm::TLevelsForm() {
  std::iota(Curve.begin(), Curve.end(), 0);
}

void TLevelsForm::Show(TPanel& parent, int left, int top) {
  Hide();
  controls_ = std::make_unique<TLevelsControls>();
  controls_->Form = std::make_unique<TGroup>(parent);
  TGroup& form = *controls_->Form;
  form.SetFont("Tahoma", 11);
  form.SetCaption("Уровни...");
  form.SetBounds(left, top, kClientWidth, kClientHeight);
  BuildControls(form);
  FormShow();
}

void TLevelsForm::BuildControls(TGroup& form) {
  TLevelsControls& c = *controls_;
  c.LevPaintBox = std::make_unique<TPaintBox>(form);
  c.LevPaintBox->SetBounds(8, 8, kBoxSize, kBoxSize);
  c.LevPaintBox->OnMouseDown = [this](int x, int y) { LevPaintBoxMouseDown(x, y); };
  c.LevPaintBox->OnMouseMove = [this](int x, int y) { LevPaintBoxMouseMove(x, y); };
  c.LevPaintBox->OnMouseUp = [this](int x, int y) { LevPaintBoxMouseUp(x, y); };
  c.LevPaintBox->OnPaint = [this](TCanvas& canvas) { LevPaintBoxPaint(canvas); };
  c.InterpolCheck = MakeCheck(form, 272, "интерфейсная интерполяция", Interpolation);
  c.GrCheckBox = MakeCheck(form, 296, "применять к совокупности каналов", ApplyToLuminance);
  c.ResetButton = MakeButton(form, 8, 320, 257, "Сбросить уровни", [this] { ResetButtonClick(); });
  c.InvertButton =
      MakeButton(form, 8, 352, 257, "Обратить уровни", [this] { InvertButtonClick(); });
  c.Label1 = std::make_unique<TLabel>(form);
  c.Label1->SetCaption("Степень:");
  c.Label1->SetLeft(8);
  c.Label1->SetTop(388);
  c.PowEdit = std::make_unique<TEdit>(form);
  c.PowEdit->SetBounds(80, 384, 41, 25);
  c.PowEdit->SetText(PowText);
  c.PowEdit->OnChange = [this] { PowText = controls_->PowEdit->Text(); };
  c.PowButton = MakeButton(form, 128, 384, 137, "Возвести в степень", [this] { PowButtonClick(); });
}

void TLevelsForm::Hide() {
  // No release can reach a box that is gone: a drag ends with it.
  Dragging = false;
  controls_.reset();
}

void TLevelsForm::Redraw() {
  if (controls_) controls_->LevPaintBox->Invalidate();
}

void TLevelsForm::RedrawColumns(int first, int last) {
  if (controls_) controls_->LevPaintBox->InvalidateRect(first, 0, last - first + 1, kBoxSize);
}

void TLevelsForm::LevPaintBoxMouseDown(int x, int y) {
  Dragging = true;
  // Kept within the box, so that the segment drawn later never starts outside the curve.
  LastX = std::clamp(x, 0, kLastLevel);
  LastY = std::clamp(y, 1, kLastLevel);
  LevPaintBoxMouseMove(x, y);
}

void TLevelsForm::LevPaintBoxMouseMove(int x, int y) {
  if (!Dragging) return;
  // The top row gives the same level as the row below it.
  x = std::clamp(x, 0, kLastLevel);
  y = std::clamp(y, 1, kLastLevel);
  const std::int32_t level = kBoxSize - y;
  if (!Interpolation) {
    Curve[x] = level;
    RedrawColumns(x, x);
    return;
  }
  int x0 = x, y0 = level, x1 = LastX, y1 = kBoxSize - LastY;
  if (x0 > x1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  const int d = x1 == x0 ? 1 : x1 - x0;
  for (int i = x0; i <= x1; ++i) Curve[i] = (y1 - y0) * (i - x0) / d + y0;
  RedrawColumns(x0, x1);
  LastX = x;
  LastY = y;
}

void TLevelsForm::LevPaintBoxMouseUp(int x, int y) {
  if (!Dragging) return;
  LevPaintBoxMouseMove(x, y);
  Dragging = false;
}

void TLevelsForm::LevPaintBoxPaint(TCanvas& canvas) const {
  canvas.FillRect(0, 0, kBoxSize, kBoxSize, kWhite);
  for (int i = 0; i <= kLastLevel; ++i) canvas.Line(i, kBoxSize, i, kBoxSize - Curve[i], kBlack);
}

void TLevelsForm::FormShow() {
  std::iota(Curve.begin(), Curve.end(), 0);
  Redraw();
}

void TLevelsForm::ResetButtonClick() {
  FormShow();
}

void TLevelsForm::InvertButtonClick() {
  const std::array<std::int32_t, 256> previous = Curve;
  Curve.fill(kUndefined);
  // Where several inputs share one output, the largest input wins. Entries are levels
  // 0 ... 255; the clamp only keeps the writes inside the curve whatever it holds.
  for (int v = 0; v <= kLastLevel; ++v) Curve[std::clamp(previous[v], 0, kLastLevel)] = v;
  for (int i = 0; i <= kLastLevel; ++i) {
    if (Curve[i] != kUndefined) continue;
    int j = i + 1;
    while (j <= kLastLevel && Curve[j] == kUndefined) ++j;
    FillGap(i - 1, j);
    i = j;
  }
  Redraw();
}

void TLevelsForm::FillGap(int a, int j) {
  // A gap at the start takes the first defined value, one at the end the last; the entries
  // a and j themselves are rewritten with the values they hold.
  const std::int32_t va = a >= 0 ? Curve[a] : Curve[j];
  const std::int32_t vb = j <= kLastLevel ? Curve[j] : va;
  for (int k = std::max(a, 0); k <= std::min(j, kLastLevel); ++k) {
    Curve[k] = (k - a) * (vb - va) / (j - a) + va;
  }
}

void TLevelsForm::PowButtonClick() {
  const double p = ScanDouble(PowText.c_str());
  for (std::int32_t& level : Curve) {
    level = LevelOf(255.0L * std::pow(level * (1.0 / 255), p));
  }
  Redraw();
}

}  // namespace imvora
