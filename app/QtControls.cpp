#include "app/QtControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>

namespace imvora {
namespace {

QString ToQt(const std::string& text) {
  return QString::fromStdString(text);
}

// Mirrors one control's state into its widget. Changes made through the peer block the
// widget's signals, so only the user's actions reach the control's handlers.
class TQtPeer : public TControlPeer {
 public:
  TQtPeer(TControlKind kind, QWidget* widget) : kind_(kind), widget_(widget) { widget->show(); }
  // A filter may drop its controls from inside one of their own handlers, while the widget is
  // still emitting: the widget leaves at once but is deleted when control returns to Qt.
  ~TQtPeer() override {
    if (!widget_) return;
    QObject::disconnect(widget_, nullptr, nullptr, nullptr);
    widget_->hide();
    widget_->deleteLater();
  }

  void SetGeometry(int left, int top, int width, int height) override {
    if (widget_) widget_->setGeometry(left, top, width, height);
  }
  void SetText(const std::string& text) override {
    if (!widget_) return;
    const QSignalBlocker blocker(widget_);
    if (auto* label = qobject_cast<QLabel*>(widget_)) label->setText(ToQt(text));
    if (auto* edit = qobject_cast<QLineEdit*>(widget_)) edit->setText(ToQt(text));
    if (auto* check = qobject_cast<QCheckBox*>(widget_)) check->setText(ToQt(text));
  }
  void SetItems(const std::vector<std::string>& items) override {
    auto* combo = qobject_cast<QComboBox*>(widget_);
    if (!combo) return;
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const std::string& item : items) combo->addItem(ToQt(item));
    combo->setCurrentIndex(-1);
  }
  void SetItemIndex(int index) override {
    if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
      const QSignalBlocker blocker(combo);
      combo->setCurrentIndex(index);
    }
  }
  void SetChecked(bool checked) override {
    if (auto* check = qobject_cast<QCheckBox*>(widget_)) {
      const QSignalBlocker blocker(check);
      check->setChecked(checked);
    }
  }
  void SetHint(const std::string& hint) override {
    if (widget_) widget_->setToolTip(ToQt(hint));
  }
  int TextWidth(const std::string& text) const override {
    return widget_ ? QFontMetrics(widget_->font()).horizontalAdvance(ToQt(text)) : 0;
  }
  int TextHeight() const override { return widget_ ? QFontMetrics(widget_->font()).height() : 0; }
  int DefaultHeight() const override {
    if (!widget_) return 0;
    return kind_ == TControlKind::Label ? TextHeight() : widget_->sizeHint().height();
  }

 private:
  TControlKind kind_;
  QPointer<QWidget> widget_;
};

// The handlers cast the control only when they run: while the peer is created, the control
// is still being constructed.
QWidget* CreateWidget(TControlKind kind, TControl& control, const TQtPanel& panel,
                      QWidget* parent) {
  switch (kind) {
    case TControlKind::Label:
      return new QLabel(parent);
    case TControlKind::Edit: {
      auto* edit = new QLineEdit(parent);
      QObject::connect(edit, &QLineEdit::textEdited, [&control, &panel](const QString& text) {
        panel.Run([&] { static_cast<TEdit&>(control).UserEdited(text.toStdString()); });
      });
      return edit;
    }
    case TControlKind::ComboBox: {
      auto* combo = new QComboBox(parent);
      QObject::connect(combo, &QComboBox::activated, [&control, &panel](int index) {
        panel.Run([&] { static_cast<TComboBox&>(control).UserSelected(index); });
      });
      return combo;
    }
    case TControlKind::CheckBox: {
      auto* check = new QCheckBox(parent);
      QObject::connect(check, &QCheckBox::clicked, [&control, &panel](bool checked) {
        panel.Run([&] { static_cast<TCheckBox&>(control).UserToggled(checked); });
      });
      return check;
    }
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<TControlPeer> TQtPanel::CreatePeer(TControlKind kind, TControl& control) {
  return std::make_unique<TQtPeer>(kind, CreateWidget(kind, control, *this, widget_));
}

void TQtPanel::Run(const std::function<void()>& handler) const {
  if (RunHandler) {
    RunHandler(handler);
  } else {
    handler();
  }
}

int TQtPanel::ClientWidth() const {
  return widget_ ? widget_->width() : 0;
}

void TQtPanel::SetClientWidth(int width) {
  if (!widget_) return;
  widget_->resize(width, widget_->height());
  if (OnClientWidthChanged) OnClientWidthChanged(width);
}

}  // namespace imvora
