#include "app/UpDown.h"

#include <QBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>

namespace imvora {

TUpDown::TUpDown(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), increase_(new QToolButton(this)), decrease_(new QToolButton(this)) {
  const bool horizontal = orientation == Qt::Horizontal;
  auto* layout =
      new QBoxLayout(horizontal ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom, this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  increase_->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
  decrease_->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
  for (QToolButton* button : {increase_, decrease_}) {
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  }
  layout->addWidget(horizontal ? decrease_ : increase_);
  layout->addWidget(horizontal ? increase_ : decrease_);
  connect(increase_, &QToolButton::clicked, this, [this] { Step(1); });
  connect(decrease_, &QToolButton::clicked, this, [this] { Step(-1); });
}

void TUpDown::SetAssociate(QLineEdit* edit) {
  associate_ = edit;
  connect(edit, &QLineEdit::textEdited, this, &TUpDown::AssociateEdited);
  SetPosition(position_);
}

int TUpDown::Limited(int position) const {
  return max_ < min_ ? min_ : std::clamp(position, min_, max_);
}

void TUpDown::SetRange(int min, int max) {
  min_ = min;
  max_ = max;
  SetPosition(position_);
}

void TUpDown::SetPosition(int position) {
  position_ = Limited(position);
  if (associate_ != nullptr) associate_->setText(QString::number(position_));
}

void TUpDown::Step(int delta) {
  SetPosition(position_ + delta);
  emit Clicked();
}

void TUpDown::AssociateEdited(const QString& text) {
  bool ok = false;
  const int typed = text.trimmed().toInt(&ok);
  if (ok) position_ = Limited(typed);
}

}  // namespace imvora
