#include "app/SelectionView.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

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
  resize(image_.size());
  update();
}

void TSelPaintBox::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect exposed = event->rect().intersected(image_.rect());
  if (!exposed.isEmpty()) painter.drawImage(exposed.topLeft(), image_, exposed);
  const bool frameWanted = FrameWanted && FrameWanted();
  if (!frameWanted && !document_.Dragging()) return;
  const auto [left, right] = std::minmax(document_.SelLeft, document_.SelRight);
  const auto [top, bottom] = std::minmax(document_.SelTop, document_.SelBottom);
  // The frame lies one pixel outside the selected pixels on every side.
  const QRect outline(QPoint(left - 1, top - 1), QPoint(right + 1, bottom + 1));
  for (const QRect& strip : OutlineStrips(outline, image_.rect())) {
    QImage inverted = image_.copy(strip);
    inverted.invertPixels();
    painter.drawImage(strip.topLeft(), inverted);
  }
}

void TSelPaintBox::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  document_.MouseDown(p.x(), p.y());
}

void TSelPaintBox::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const std::string status = document_.MouseMove(p.x(), p.y());
  if (OnMouseStatus) OnMouseStatus(QString::fromStdString(status));
}

void TSelPaintBox::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  document_.MouseUp(p.x(), p.y());
}

}  // namespace imvora
