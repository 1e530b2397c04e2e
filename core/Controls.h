#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace imvora {

// A small toolkit-neutral control layer. Filters build their parameter controls from these
// classes; the rules (which change runs which handler) live here, and a toolkit only mirrors
// the state through a peer: the GUI with real widgets, the tests and the command line without.

enum class TControlKind { Label, Edit, ComboBox, CheckBox, Button, PaintBox, Group };

class TControl;

// The toolkit side of one control.
class TControlPeer {
 public:
  virtual ~TControlPeer() = default;
  virtual void SetGeometry(int left, int top, int width, int height) = 0;
  virtual void SetText(const std::string& text) = 0;  // caption, or the text of an edit
  virtual void SetItems(const std::vector<std::string>& items) = 0;
  virtual void SetItemIndex(int index) = 0;
  virtual void SetChecked(bool checked) = 0;
  virtual void SetHint(const std::string& hint) = 0;
  // Size of a caption in the control's font, for labels that size themselves to their text.
  virtual int TextWidth(const std::string& text) const = 0;
  virtual int TextHeight() const = 0;
  // Height the toolkit gives this kind of control by default.
  virtual int DefaultHeight() const = 0;
  // Paint boxes: repaint this part through the control's Paint.
  virtual void Invalidate(int /*left*/, int /*top*/, int /*width*/, int /*height*/) {}
  // Groups: the font of the group and of the controls placed in it afterwards.
  virtual void SetFont(const std::string& /*family*/, int /*pixelHeight*/) {}
  // Groups: the peer of a control placed in this one.
  virtual std::unique_ptr<TControlPeer> CreateChildPeer(TControlKind /*kind*/, TControl&) {
    return nullptr;
  }
};

// The parent of a filter's controls (the property panel).
class TPanel {
 public:
  virtual ~TPanel() = default;
  virtual std::unique_ptr<TControlPeer> CreatePeer(TControlKind kind, TControl& control) = 0;
  virtual int ClientWidth() const = 0;
  virtual void SetClientWidth(int width) = 0;
};

class TControl {
 public:
  TControl(TPanel& parent, TControlKind kind);
  virtual ~TControl() = default;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
  void SetTop(int top) { SetBounds(left_, top, width_, height_); }
  void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
  void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
  void SetBounds(int left, int top, int width, int height);
  int Right() const { return left_ + width_; }
  int Bottom() const { return top_ + height_; }

  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint);

 protected:
  TControlPeer& Peer() { return *peer_; }
  const TControlPeer& Peer() const { return *peer_; }

 private:
  std::unique_ptr<TControlPeer> peer_;
  int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::string hint_;
};

// A label sizes itself to its caption.
class TLabel : public TControl {
 public:
  explicit TLabel(TPanel& parent);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);

 private:
  std::string caption_;
};

// Every change of the text, by the user or from code, runs OnChange.
class TEdit : public TControl {
 public:
  explicit TEdit(TPanel& parent);
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);
  // Called by the toolkit when the user has changed the text.
  void UserEdited(const std::string& text);

  std::function<void()> OnChange;

 private:
  std::string text_;
};

// A drop-down list without free text. Selecting an item from code does not run OnChange;
// the user's choice does.
class TComboBox : public TControl {
 public:
  explicit TComboBox(TPanel& parent);
  const std::vector<std::string>& Items() const { return items_; }
  void SetItems(const std::vector<std::string>& items);
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);
  // Called by the toolkit when the user has picked an item.
  void UserSelected(int index);

  std::function<void()> OnChange;

 private:
  std::vector<std::string> items_;
  int itemIndex_ = -1;
};

// A change of the checked state, by the user or from code, runs OnClick.
class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TPanel& parent);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  // Called by the toolkit when the user has toggled the box.
  void UserToggled(bool checked) { SetChecked(checked); }

  std::function<void()> OnClick;

 private:
  std::string caption_;
  bool checked_ = false;
};

// A push button; a click by the user or from code runs OnClick.
class TButton : public TControl {
 public:
  explicit TButton(TPanel& parent);
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption);
  void Click() {
    if (OnClick) OnClick();
  }

  std::function<void()> OnClick;

 private:
  std::string caption_;
};

// An RGB colour, 0xRRGGBB.
using TColour = std::uint32_t;
constexpr TColour kWhite = 0xFFFFFF;
constexpr TColour kBlack = 0x000000;

// What a paint box's owner draws with, in the box's client coordinates. The toolkit clips the
// drawing to the box and to the part being repainted.
class TCanvas {
 public:
  virtual ~TCanvas() = default;
  // Fills the rectangle from (left, top) up to but excluding (right, bottom).
  virtual void FillRect(int left, int top, int right, int bottom, TColour colour) = 0;
  // A one-pixel line from (x0, y0) towards (x1, y1); the end point itself is not drawn.
  virtual void Line(int x0, int y0, int x1, int y1, TColour pen) = 0;
};

// An area its owner draws. The toolkit reports the mouse in client coordinates and asks for
// paint through Paint, after Invalidate or whenever the area is exposed.
class TPaintBox : public TControl {
 public:
  explicit TPaintBox(TPanel& parent);
  void Invalidate() { InvalidateRect(0, 0, Width(), Height()); }
  void InvalidateRect(int left, int top, int width, int height) {
    Peer().Invalidate(left, top, width, height);
  }

  // Called by the toolkit.
  void MouseDown(int x, int y) { Run(OnMouseDown, x, y); }
  void MouseMove(int x, int y) { Run(OnMouseMove, x, y); }
  void MouseUp(int x, int y) { Run(OnMouseUp, x, y); }
  void Paint(TCanvas& canvas) {
    if (OnPaint) OnPaint(canvas);
  }

  std::function<void(int x, int y)> OnMouseDown, OnMouseMove, OnMouseUp;
  std::function<void(TCanvas&)> OnPaint;

 private:
  static void Run(const std::function<void(int, int)>& handler, int x, int y) {
    if (handler) handler(x, y);
  }
};

// Controls placed together on a panel. The group is the panel of its controls, whose
// positions are relative to the group; its client width is its width.
class TGroup : public TControl, public TPanel {
 public:
  explicit TGroup(TPanel& parent);
  std::unique_ptr<TControlPeer> CreatePeer(TControlKind kind, TControl& control) override;
  int ClientWidth() const override { return Width(); }
  void SetClientWidth(int width) override { SetWidth(width); }
  // The caption a toolkit may show for the group as a whole.
  void SetCaption(const std::string& caption);
  // Set before the controls are placed: they take the group's font.
  void SetFont(const std::string& family, int pixelHeight);
};

// A panel without a toolkit, for tests and headless runs. Text is measured as 6 pixels per
// character and 13 pixels high; edits and combo boxes are 21 pixels high, check boxes 17,
// buttons 25. Nothing is drawn.
class THeadlessPanel : public TPanel {
 public:
  std::unique_ptr<TControlPeer> CreatePeer(TControlKind kind, TControl& control) override;
  int ClientWidth() const override { return clientWidth_; }
  void SetClientWidth(int width) override { clientWidth_ = width; }

 private:
  int clientWidth_ = 0;
};

}  // namespace imvora
