#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "core/Document.h"

namespace imvora {

// The view: paints the document's displayed picture and the selection frame, and hands the
// mouse to the document's selection rules.
class TSelPaintBox : public QWidget {
  Q_OBJECT

 public:
  TSelPaintBox(TDocument& document, QWidget* parent);

  // The document replaced its displayed picture.
  void PictureChanged();

  // Whether the frame is wanted when no drag is in progress ("Границы выделения").
  std::function<bool()> FrameWanted;
  // The status line for the pixel under the mouse.
  std::function<void(const QString&)> OnMouseStatus;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  TDocument& document_;
  QImage image_;
};

}  // namespace imvora
