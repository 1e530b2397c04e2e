#include "app/QtControls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QThread>
#include <algorithm>
#include <cstdlib>

namespace imvora {
namespace {

QString ToQt(const std::string& text) {
  return QString::fromStdString(text);
}

// A canvas on a widget being painted; Qt clips it to the part being repainted.
class TQtCanvas : public TCanvas {
 public:
  explicit TQtCanvas(QPainter& painter) : painter_(painter) {}
  void FillRect(int left, int top, int right, int bottom, TColour colour) override {
    if (right > left && bottom > top) {
      painter_.fillRect(left, top, right - left, bottom - top, QColor(QRgb(colour)));
    }
  }
  void Line(int x0, int y0, int x1, int y1, TColour pen) override {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    if (steps == 0) return;
    // The last pixel drawn is the one before the end point.
    const QPoint last(x0 + (x1 - x0) * (steps - 1) / steps, y0 + (y1 - y0) * (steps - 1) / steps);
    painter_.setPen(QPen(QColor(QRgb(pen)), 0));
    painter_.drawLine(QPoint(x0, y0), last);
  }

 private:
  QPainter& painter_;
};

// The widget of a paint box: white, with a cross cursor; it hands the mouse and the paint to
// the control until its peer lets go of it. Like the handlers below, it casts the control
// only when it uses it: while the widget is created, the control is still being constructed.
class TQtPaintBoxWidget : public QWidget {
 public:
  TQtPaintBoxWidget(TControl& box, const TQtPanel& panel, QWidget* parent)
      : QWidget(parent), box_(&box), panel_(panel) {
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
  }
  void Detach() { box_ = nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (box_ == nullptr) return;
    QPainter painter(this);
    TQtCanvas canvas(painter);
    static_cast<TPaintBox*>(box_)->Paint(canvas);
  }
  void mousePressEvent(QMouseEvent* event) override { Forward(event, &TPaintBox::MouseDown); }
  void mouseMoveEvent(QMouseEvent* event) override { Forward(event, &TPaintBox::MouseMove); }
  void mouseReleaseEvent(QMouseEvent* event) override { Forward(event, &TPaintBox::MouseUp); }

 private:
  void Forward(QMouseEvent* event, void (TPaintBox::*handler)(int, int)) {
    if (box_ == nullptr) return;
    const QPoint p = event->position().toPoint();
    auto* box = static_cast<TPaintBox*>(box_);
    panel_.Run([box, handler, p] { (box->*handler)(p.x(), p.y()); });
  }

  TControl* box_;
  const TQtPanel& panel_;
};

QWidget* CreateWidget(TControlKind kind, TControl& control, const TQtPanel& panel, QWidget* parent);

// Mirrors one control's state into its widget. Changes made through the peer block the
// widget's signals, so only the user's actions reach the control's handlers.
class TQtPeer : public TControlPeer {
 public:
  TQtPeer(TControlKind kind, QWidget* widget, const TQtPanel& panel)
      : kind_(kind), widget_(widget), panel_(panel) {
    widget->show();
  }
  // A filter may drop its controls from inside one of their own handlers, while the widget is
  // still emitting: the widget leaves at once but is deleted when control returns to Qt.
  ~TQtPeer() override {
    if (!widget_) return;
    if (auto* box = dynamic_cast<TQtPaintBoxWidget*>(widget_.data())) box->Detach();
    QObject::disconnect(widget_, nullptr, nullptr, nullptr);
    widget_->hide();
    widget_->deleteLater();
  }

  void SetGeometry(int left, int top, int width, int height) override {
    OnWidgetThread([=] {
      widget_->setGeometry(left, top, width, height);
      // A label given more than one line of height wraps its caption at word boundaries.
      if (auto* label = qobject_cast<QLabel*>(widget_)) label->setWordWrap(height > TextHeight());
    });
  }
  void SetText(const std::string& text) override {
    OnWidgetThread([&] {
      const QSignalBlocker blocker(widget_);
      if (auto* label = qobject_cast<QLabel*>(widget_)) label->setText(ToQt(text));
      if (auto* edit = qobject_cast<QLineEdit*>(widget_)) edit->setText(ToQt(text));
      if (auto* check = qobject_cast<QCheckBox*>(widget_)) check->setText(ToQt(text));
      if (auto* button = qobject_cast<QPushButton*>(widget_)) button->setText(ToQt(text));
      if (kind_ == TControlKind::Group) widget_->setWindowTitle(ToQt(text));
    });
  }
  void SetItems(const std::vector<std::string>& items) override {
    OnWidgetThread([&] {
      auto* combo = qobject_cast<QComboBox*>(widget_);
      if (!combo) return;
      const QSignalBlocker blocker(combo);
      combo->clear();
      for (const std::string& item : items) combo->addItem(ToQt(item));
      combo->setCurrentIndex(-1);
    });
  }
  void SetItemIndex(int index) override {
    OnWidgetThread([=] {
      if (auto* combo = qobject_cast<QComboBox*>(widget_)) {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(index);
      }
    });
  }
  void SetChecked(bool checked) override {
    OnWidgetThread([=] {
      if (auto* check = qobject_cast<QCheckBox*>(widget_)) {
        const QSignalBlocker blocker(check);
        check->setChecked(checked);
      }
    });
  }
  void SetHint(const std::string& hint) override {
    OnWidgetThread([&] { widget_->setToolTip(ToQt(hint)); });
  }
  int TextWidth(const std::string& text) const override {
    return widget_ ? QFontMetrics(widget_->font()).horizontalAdvance(ToQt(text)) : 0;
  }
  int TextHeight() const override { return widget_ ? QFontMetrics(widget_->font()).height() : 0; }
  int DefaultHeight() const override {
    if (!widget_) return 0;
    return kind_ == TControlKind::Label ? TextHeight() : widget_->sizeHint().height();
  }
  void Invalidate(int left, int top, int width, int height) override {
    OnWidgetThread([=] { widget_->update(left, top, width, height); });
  }
  void SetFont(const std::string& family, int pixelHeight) override {
    OnWidgetThread([&] {
      QFont font(ToQt(family));
      font.setPixelSize(pixelHeight);
      widget_->setFont(font);
    });
  }
  std::unique_ptr<TControlPeer> CreateChildPeer(TControlKind kind, TControl& control) override {
    return std::make_unique<TQtPeer>(kind, CreateWidget(kind, control, panel_, widget_), panel_);
  }

 private:
  // A filter run on the worker thread (a batch setting the selected filter's parameters)
  // changes the widget on the GUI thread, waiting for it.
  template <class F>
  void OnWidgetThread(F change) {
    if (!widget_) return;
    if (QThread::currentThread() == widget_->thread()) {
      change();
    } else {
      QMetaObject::invokeMethod(
          widget_,
          [this, &change] {
            if (widget_) change();
          },
          Qt::BlockingQueuedConnection);
    }
  }

  TControlKind kind_;
  QPointer<QWidget> widget_;
  const TQtPanel& panel_;
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
    case TControlKind::Button: {
      auto* button = new QPushButton(parent);
      QObject::connect(button, &QPushButton::clicked, [&control, &panel] {
        panel.Run([&] { static_cast<TButton&>(control).Click(); });
      });
      return button;
    }
    case TControlKind::PaintBox:
      return new TQtPaintBoxWidget(control, panel, parent);
    case TControlKind::Group:
      return new QWidget(parent);
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<TControlPeer> TQtPanel::CreatePeer(TControlKind kind, TControl& control) {
  return std::make_unique<TQtPeer>(kind, CreateWidget(kind, control, *this, widget_), *this);
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
