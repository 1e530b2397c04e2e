#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QSlider;

namespace imvora {

// "Параметры сжатия JPEG": the quality as text and as a slider, and progressive encoding.
// Created once, so the values persist between saves.
class TJProp : public QDialog {
  Q_OBJECT

 public:
  explicit TJProp(QWidget* parent = nullptr);

  QLineEdit* Edit1;
  QSlider* TrackBar1;
  QCheckBox* CheckBox1;

 protected:
  // The box for a quality text that is not an integer; tests replace it.
  virtual void ShowConversionError(const QString& message);
  void showEvent(QShowEvent* event) override;

 private:
  void TrackBar1Change(int position);
  void Edit1Change(const QString& text);

  QPushButton* okButton_ = nullptr;

  // Set while one of the pair is being updated from the other, so that the echo of that
  // update does not travel back.
  bool guard_ = false;
};

}  // namespace imvora
