#include "app/HistogramWindow.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/Drawing.h"

namespace imvora {
namespace {

constexpr int kLevels = 256;
constexpr int kBaseline = 100;  // bars grow upward from this row
constexpr int kStripTop = 101;
constexpr int kStripHeight = 20;
constexpr int kSwatchWidth = 64;

}  // namespace

void ScaleHistogram(HistogramTable& table) {
  for (auto block = table.begin(); block != table.end(); block += kLevels) {
    const std::int64_t peak = *std::max_element(block, block + kLevels);
    if (peak <= 0) continue;
    // 64-bit products: a count above 21474836 would overflow 32 bits when multiplied by 100.
    std::transform(block, block + kLevels, block, [peak](std::int32_t count) {
      return static_cast<std::int32_t>(std::int64_t{count} * 100 / peak);
    });
  }
}

THistogram::THistogram(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName("Histogram");
  setWindowTitle("Гистограмма");
  setFixedSize(kLevels, kStripTop + kStripHeight);
  move(786, 473);
}

void THistogram::SetHistogram(std::unique_ptr<HistogramTable> table) {
  pending_ = nullptr;
  table_ = std::move(table);
  if (table_) ScaleHistogram(*table_);
  update();
}

void THistogram::HistogramChanged(std::function<const HistogramTable&()> source) {
  pending_ = std::move(source);
  update();
}

const HistogramTable* THistogram::Table() const {
  if (pending_) {
    auto fresh = std::make_unique<HistogramTable>(pending_());
    ScaleHistogram(*fresh);
    table_ = std::move(fresh);
    pending_ = nullptr;
  }
  return table_.get();
}

QImage THistogram::Render() const {
  QImage image(size(), QImage::Format_RGB32);
  image.fill(palette().color(QPalette::Window));
  QPainter painter(&image);
  if (const HistogramTable* table = Table()) {
    const std::int32_t* bars = table->data() + selectedBlock_ * kLevels;
    for (int x = 0; x < kLevels; ++x) {
      const int v = std::clamp(bars[x], 0, kBaseline);
      if (v > 0) painter.fillRect(x, kBaseline + 1 - v, 1, v, Qt::black);
    }
  }
  const QColor swatches[] = {Qt::red, QColor(0, 128, 0), Qt::blue, Qt::white};
  for (int block = 0; block < 4; ++block) {
    painter.fillRect(block * kSwatchWidth, kStripTop, kSwatchWidth, kStripHeight, swatches[block]);
  }
  painter.end();
  InvertOutline(image, QRect(selectedBlock_ * kSwatchWidth, kStripTop, kSwatchWidth, kStripHeight));
  return image;
}

void THistogram::paintEvent(QPaintEvent*) {
  QPainter(this).drawImage(0, 0, Render());
}

void THistogram::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (p.y() < kStripTop || p.y() >= kStripTop + kStripHeight || p.x() < 0 || p.x() >= kLevels) {
    return;
  }
  selectedBlock_ = p.x() / kSwatchWidth;
  update();
}

void THistogram::closeEvent(QCloseEvent* event) {
  event->accept();
  emit Closed();
}

}  // namespace imvora
