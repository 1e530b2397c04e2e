#include "app/SelectionView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/Drawing.h"

namespace imvora {

TSelPaintBox::TSelPaintBox(TDocument& document, QWidget* parent)
    : QWidget(parent), document_(document) {
  setObjectName("SelPaintBox");
  setCursor(Qt::CrossCursor);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(0, 0);
}

void TSelPaintBox::PictureChanged() {
  image_ = ToQImage(document_.Picture());
  SetZoom(zoom_);
  if (mouse_) ShowStatus(*mouse_);
}

void TSelPaintBox::SetZoom(double zoom) {
  zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
  resize(static_cast<int>(std::ceil(image_.width() * zoom_)),
         static_cast<int>(std::ceil(image_.height() * zoom_)));
  update();
}

QPoint TSelPaintBox::PicturePoint(const QPointF& viewPoint) const {
  return QPoint(static_cast<int>(std::floor(viewPoint.x() / zoom_)),
                static_cast<int>(std::floor(viewPoint.y() / zoom_)));
}

// The view pixels that show a rectangle of picture pixels; at least one pixel each way.
QRect TSelPaintBox::ViewRect(const QRect& r) const {
  const int left = static_cast<int>(std::floor(r.left() * zoom_));
  const int top = static_cast<int>(std::floor(r.top() * zoom_));
  const int right = static_cast<int>(std::ceil((r.right() + 1) * zoom_));
  const int bottom = static_cast<int>(std::ceil((r.bottom() + 1) * zoom_));
  return QRect(left, top, std::max(1, right - left), std::max(1, bottom - top));
}

void TSelPaintBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect exposed = event->rect();
  const QRect source =
      QRect(PicturePoint(exposed.topLeft()), PicturePoint(exposed.bottomRight())) & image_.rect();
  if (!source.isEmpty()) painter.drawImage(ViewRect(source), image_, source);
  const bool frameWanted = FrameWanted && FrameWanted();
  if (!frameWanted && !document_.Dragging()) return;
  const auto [left, right] = std::minmax(document_.SelLeft, document_.SelRight);
  const auto [top, bottom] = std::minmax(document_.SelTop, document_.SelBottom);
  // The frame lies one picture pixel outside the selected pixels on every side and inverts
  // what it covers.
  const QRect outline(QPoint(left - 1, top - 1), QPoint(right + 1, bottom + 1));
  painter.setCompositionMode(QPainter::CompositionMode_Difference);
  for (const QRect& strip : OutlineStrips(outline, image_.rect())) {
    painter.fillRect(ViewRect(strip), Qt::white);
  }
}

void TSelPaintBox::mousePressEvent(QMouseEvent* event) {
  if (busy_) return;
  const QPoint p = PicturePoint(event->position());
  document_.MouseDown(p.x(), p.y());
}

void TSelPaintBox::mouseMoveEvent(QMouseEvent* event) {
  if (busy_) return;
  const QPoint p = PicturePoint(event->position());
  mouse_ = p;
  const std::string status = document_.MouseMove(p.x(), p.y());
  if (OnMouseStatus) OnMouseStatus(QString::fromStdString(status));
}

void TSelPaintBox::mouseReleaseEvent(QMouseEvent* event) {
  if (busy_) return;
  const QPoint p = PicturePoint(event->position());
  document_.MouseUp(p.x(), p.y());
}

// The last mouse position stays after the mouse has left for a menu, so that the status line
// can follow what the menu did to the picture. Outside the new picture it shows nothing: the
// document would report the nearest edge pixel instead.
void TSelPaintBox::ShowStatus(const QPoint& p) {
  if (!OnMouseStatus) return;
  const bool inside = image_.rect().contains(p);
  OnMouseStatus(inside ? QString::fromStdString(document_.MouseMove(p.x(), p.y())) : QString());
}

}  // namespace imvora
