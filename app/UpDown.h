#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace imvora {

// A pair of arrow buttons that steps an integer position within a range and shows it in its
// associated edit; the number typed into the edit becomes the position (kept within the range).
// Clicked follows every arrow click, also at the ends of the range.
class TUpDown : public QWidget {
  Q_OBJECT

 public:
  TUpDown(Qt::Orientation orientation, QWidget* parent);

  void SetAssociate(QLineEdit* edit);
  // A range whose maximum lies below its minimum holds only the minimum.
  void SetRange(int min, int max);
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  void SetPosition(int position);
  // What a click on the increasing (+1) or decreasing (−1) arrow does.
  void Step(int delta);

  QToolButton* IncreaseButton() const { return increase_; }
  QToolButton* DecreaseButton() const { return decrease_; }

 signals:
  void Clicked();

 private:
  int Limited(int position) const;
  void AssociateEdited(const QString& text);

  QToolButton* increase_;
  QToolButton* decrease_;
  QLineEdit* associate_ = nullptr;
  int min_ = 0, max_ = 100, position_ = 0;
};

}  // namespace imvora
