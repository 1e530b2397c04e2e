#include "core/Controls.h"

namespace imvora {

TControl::TControl(TPanel& parent, TControlKind kind) : peer_(parent.CreatePeer(kind, *this)) {
  height_ = peer_->DefaultHeight();
  peer_->SetGeometry(left_, top_, width_, height_);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  peer_->SetGeometry(left, top, width, height);
}

void TControl::SetHint(const std::string& hint) {
  hint_ = hint;
  peer_->SetHint(hint);
}

TLabel::TLabel(TPanel& parent) : TControl(parent, TControlKind::Label) {}

void TLabel::SetCaption(const std::string& caption) {
  caption_ = caption;
  Peer().SetText(caption);
  SetBounds(Left(), Top(), Peer().TextWidth(caption), Peer().TextHeight());
}

TEdit::TEdit(TPanel& parent) : TControl(parent, TControlKind::Edit) {}

void TEdit::SetText(const std::string& text) {
  text_ = text;
  Peer().SetText(text);
  if (OnChange) OnChange();
}

void TEdit::UserEdited(const std::string& text) {
  text_ = text;
  if (OnChange) OnChange();
}

TComboBox::TComboBox(TPanel& parent) : TControl(parent, TControlKind::ComboBox) {}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  itemIndex_ = -1;
  Peer().SetItems(items);
}

void TComboBox::SetItemIndex(int index) {
  itemIndex_ = (index >= 0 && index < static_cast<int>(items_.size())) ? index : -1;
  Peer().SetItemIndex(itemIndex_);
}

void TComboBox::UserSelected(int index) {
  SetItemIndex(index);
  if (OnChange) OnChange();
}

TCheckBox::TCheckBox(TPanel& parent) : TControl(parent, TControlKind::CheckBox) {}

void TCheckBox::SetCaption(const std::string& caption) {
  caption_ = caption;
  Peer().SetText(caption);
}

void TCheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  Peer().SetChecked(checked);
  if (OnClick) OnClick();
}

TButton::TButton(TPanel& parent) : TControl(parent, TControlKind::Button) {}

void TButton::SetCaption(const std::string& caption) {
  caption_ = caption;
  Peer().SetText(caption);
}

TPaintBox::TPaintBox(TPanel& parent) : TControl(parent, TControlKind::PaintBox) {}

TGroup::TGroup(TPanel& parent) : TControl(parent, TControlKind::Group) {}

std::unique_ptr<TControlPeer> TGroup::CreatePeer(TControlKind kind, TControl& control) {
  return Peer().CreateChildPeer(kind, control);
}

void TGroup::SetCaption(const std::string& caption) {
  Peer().SetText(caption);
}

void TGroup::SetFont(const std::string& family, int pixelHeight) {
  Peer().SetFont(family, pixelHeight);
}

namespace {

int CharacterCount(const std::string& text) {
  int count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;  // UTF-8 lead bytes
  return count;
}

class THeadlessPeer : public TControlPeer {
 public:
  explicit THeadlessPeer(TControlKind kind) : kind_(kind) {}
  void SetGeometry(int, int, int, int) override {}
  void SetText(const std::string&) override {}
  void SetItems(const std::vector<std::string>&) override {}
  void SetItemIndex(int) override {}
  void SetChecked(bool) override {}
  void SetHint(const std::string&) override {}
  int TextWidth(const std::string& text) const override { return 6 * CharacterCount(text); }
  int TextHeight() const override { return 13; }
  std::unique_ptr<TControlPeer> CreateChildPeer(TControlKind kind, TControl&) override {
    return std::make_unique<THeadlessPeer>(kind);
  }
  int DefaultHeight() const override {
    switch (kind_) {
      case TControlKind::Label:
        return 13;
      case TControlKind::CheckBox:
        return 17;
      case TControlKind::Button:
        return 25;
      default:
        return 21;
    }
  }

 private:
  TControlKind kind_;
};

}  // namespace

std::unique_ptr<TControlPeer> THeadlessPanel::CreatePeer(TControlKind kind, TControl&) {
  return std::make_unique<THeadlessPeer>(kind);
}

}  // namespace imvora
