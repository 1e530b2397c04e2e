#include "app/JpegOptionsDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>

#include "core/TextConvert.h"

namespace imvora {
namespace {

QLabel* PlaceLabel(QWidget* parent, const QString& caption, int left, int top,
                   Qt::Alignment alignment = Qt::AlignLeft) {
  auto* label = new QLabel(caption, parent);
  label->adjustSize();
  const int x = alignment & Qt::AlignRight ? left - label->width() : left;
  label->move(x, top);
  return label;
}

}  // namespace

TJProp::TJProp(QWidget* parent) : QDialog(parent) {
  setObjectName("JProp");
  setWindowTitle("Параметры сжатия JPEG");
  setFixedSize(409, 145);

  auto* qualityLabel = PlaceLabel(this, "Качество сжатия:", 8, 12);
  Edit1 = new QLineEdit("85", this);
  Edit1->setObjectName("Edit1");
  Edit1->setGeometry(qualityLabel->geometry().right() + 8, 8, 33, 22);

  PlaceLabel(this, "0", 8, 44);
  TrackBar1 = new QSlider(Qt::Horizontal, this);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setRange(0, 100);
  TrackBar1->setTickInterval(1);
  TrackBar1->setTickPosition(QSlider::TicksBelow);
  TrackBar1->setValue(85);
  TrackBar1->setGeometry(24, 38, 353, 30);
  PlaceLabel(this, "100", 401, 44, Qt::AlignRight);

  PlaceLabel(this, "меньше файл", 8, 70);
  PlaceLabel(this, "хуже качество", 8, 86);
  PlaceLabel(this, "больше файл", 401, 70, Qt::AlignRight);
  PlaceLabel(this, "лучше качество", 401, 86, Qt::AlignRight);

  CheckBox1 = new QCheckBox("постепенная развёртка", this);
  CheckBox1->setObjectName("CheckBox1");
  CheckBox1->adjustSize();
  CheckBox1->move(8, 114);

  okButton_ = new QPushButton("ОК", this);
  okButton_->setObjectName("OkButton");
  okButton_->setDefault(true);
  okButton_->setGeometry(242, 110, 75, 27);
  auto* cancel = new QPushButton("Отмена", this);
  cancel->setObjectName("CancelButton");
  cancel->setGeometry(326, 110, 75, 27);

  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(TrackBar1, &QSlider::valueChanged, this, &TJProp::TrackBar1Change);
  connect(Edit1, &QLineEdit::textChanged, this, &TJProp::Edit1Change);
}

void TJProp::TrackBar1Change(int position) {
  if (guard_) {
    guard_ = false;
    return;
  }
  guard_ = true;
  Edit1->setText(QString::number(position));
  // When the text did not change there was no echo to clear the flag; a flag left set would
  // swallow the user's next edit.
  guard_ = false;
}

void TJProp::Edit1Change(const QString& text) {
  if (guard_) {
    guard_ = false;
    return;
  }
  std::int32_t quality;
  if (!TryParseInt(text.toStdString(), quality)) {
    ShowConversionError("«" + text + "» не является целым числом");
    return;
  }
  guard_ = true;
  TrackBar1->setValue(quality);
  // The slider does not echo a position it already had (or one it limits to the same end).
  guard_ = false;
}

void TJProp::showEvent(QShowEvent* event) {
  // Qt would give the focus back to the button that closed the dialog, and a focused button is
  // the one Enter presses: after "Отмена" Enter would skip the next write without a word.
  okButton_->setDefault(true);
  Edit1->setFocus();
  Edit1->selectAll();
  QDialog::showEvent(event);
}

void TJProp::ShowConversionError(const QString& message) {
  QMessageBox::critical(this, "Ошибка", message);
}

}  // namespace imvora
