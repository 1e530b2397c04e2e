#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>

#include "core/Document.h"

namespace imvora {

// The view: paints the document's displayed picture at a zoom and the selection frame, and
// hands the mouse to the document's selection rules in picture pixels.
class TSelPaintBox : public QWidget {
  Q_OBJECT

 public:
  TSelPaintBox(TDocument& document, QWidget* parent);

  // The document replaced its displayed picture; the status line shows the new pixel values at
  // the last mouse position.
  void PictureChanged();
  // While a run works on the document, the mouse leaves the document alone.
  void SetBusy(bool busy) { busy_ = busy; }
  // Screen pixels per picture pixel.
  double Zoom() const { return zoom_; }
  void SetZoom(double zoom);
  // The picture pixel under a point of the view.
  QPoint PicturePoint(const QPointF& viewPoint) const;
  QSize PictureSize() const { return image_.size(); }

  // Whether the frame is wanted when no drag is in progress ("Границы выделения").
  std::function<bool()> FrameWanted;
  // The status line for the pixel under the mouse.
  std::function<void(const QString&)> OnMouseStatus;

  static constexpr double kMinZoom = 1.0 / 16;
  static constexpr double kMaxZoom = 32;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRect ViewRect(const QRect& pictureRect) const;
  void ShowStatus(const QPoint& picturePoint);

  TDocument& document_;
  QImage image_;
  double zoom_ = 1;
  bool busy_ = false;
  std::optional<QPoint> mouse_;  // the picture pixel last under the mouse
};

}  // namespace imvora
