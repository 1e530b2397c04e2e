#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <memory>

#include "core/Filtering.h"

namespace imvora {

// Bar heights 0 ... 100: each block of 256 counters (red, green, blue, luminance) scaled by its
// own largest counter, truncating; a block of zeros stays zero.
void ScaleHistogram(HistogramTable& table);

// "Гистограмма": a tool window with one block of the displayed picture's histogram as bars and
// a strip of four swatches that choose the block.
class THistogram : public QWidget {
  Q_OBJECT

 public:
  explicit THistogram(QWidget* parent = nullptr);

  // Takes the table, scales it and repaints.
  void SetHistogram(std::unique_ptr<HistogramTable> table);
  // The displayed picture changed: its histogram is taken from `source` when the window next
  // paints or is asked for its table, so that a hidden window costs nothing.
  void HistogramChanged(std::function<const HistogramTable&()> source);
  // The scaled table shown, none before the first picture.
  const HistogramTable* Table() const;
  int SelectedBlock() const { return selectedBlock_; }
  // The client area as it is painted.
  QImage Render() const;

 signals:
  // The user closed (and so hid) the window.
  void Closed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  mutable std::unique_ptr<HistogramTable> table_;
  mutable std::function<const HistogramTable&()> pending_;
  int selectedBlock_ = 3;
};

}  // namespace imvora
