#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

#include "core/Controls.h"

namespace imvora {

// The property panel as the parent of the filters' controls: each control gets a real widget
// (QLabel, QLineEdit, QComboBox, QCheckBox, QPushButton, a drawn widget for a paint box, a
// plain container for a group) placed absolutely on the panel widget.
class TQtPanel : public TPanel {
 public:
  explicit TQtPanel(QWidget& widget) : widget_(&widget) {}

  std::unique_ptr<TControlPeer> CreatePeer(TControlKind kind, TControl& control) override;
  void Run(const std::function<void()>& handler) const;
  int ClientWidth() const override;
  void SetClientWidth(int width) override;

  // Runs after a filter has set the panel's width, so that the window can follow it.
  std::function<void(int)> OnClientWidthChanged;
  // Runs a control's handler for a user action; the window reports what it throws, since an
  // exception must not cross Qt's event loop.
  std::function<void(const std::function<void()>&)> RunHandler;

 private:
  QPointer<QWidget> widget_;
};

}  // namespace imvora
