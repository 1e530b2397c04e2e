#pragma once

#include <QDialog>
#include <QLabel>
#include <QUrl>

namespace imvora {

// A label that behaves as a link: underlined while the mouse is over it, and clicked.
class TContactLabel : public QLabel {
  Q_OBJECT

 public:
  TContactLabel(const QString& text, QWidget* parent);

 signals:
  void Clicked();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void SetUnderline(bool underline);
};

// "О программе".
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);

  static const QUrl ContactAddress;
  TContactLabel* ContactLabel;

 protected:
  // Asks the desktop to open the contact address in the user's mail program.
  virtual void OpenContact();
};

// The two pictures of the box, drawn rather than loaded.
QPixmap DrawWorkbenchPicture();  // 174 x 114
QPixmap DrawGlyphPicture();      // 132 x 132

}  // namespace imvora
