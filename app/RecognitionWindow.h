#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "core/Document.h"

class QFileDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace imvora {

class TUpDown;

// "Контекстно-зависимое распознавание": the dictionary, the precedent data and the reading of
// the document's contour set from left to right. Frames single glyphs in the document's
// selection and copies their descriptions into the precedent data.
class TCDRForm : public QWidget {
  Q_OBJECT

 public:
  explicit TCDRForm(TDocument& document, QWidget* parent = nullptr);

  // Controls under their designer names.
  QLabel* Label1;
  QPlainTextEdit* DicMemo;
  QPushButton* DLButton;
  QPushButton* DSButton;
  QLabel* Label2;
  QLineEdit* NCEdit;
  TUpDown* NCUpDown;
  QLabel* Label3;
  QPlainTextEdit* PRMemo;
  QLabel* Label4;
  QLineEdit* COEdit;
  TUpDown* COUpDown;
  QPushButton* PAButton;
  QPushButton* Button1;
  QLabel* Label5;
  QLineEdit* RSEdit;
  QPushButton* RAButton;
  QPlainTextEdit* LogMemo;
  QFileDialog* DicOpenDialog;
  QFileDialog* DicSaveDialog;

  // The document's selection (left, top, right, bottom) when the window was last shown.
  std::array<int, 4> SavedSelection = {0, 0, 0, 0};

 protected:
  // Modal steps that tests replace: a file dialog (false when cancelled) and the error box.
  virtual bool RunFileDialog(QFileDialog& dialog, QString& chosen);
  virtual void ShowError(const QString& message);
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  enum TAnchor { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8 };
  struct TAnchored {
    QWidget* Widget;
    QRect Design;
    int Anchors;
  };
  template <class T>
  T* Place(T* widget, const char* name, QRect design, int anchors);
  QLabel* PlaceLabel(const char* name, const QString& caption, QRect design, int anchors,
                     bool bold);
  QPushButton* PlaceButton(const char* name, const QString& caption, QRect design, int anchors);
  void CreateDialogs();
  void SetTabOrder();
  void Run(const std::function<void()>& handler);

  void FormShow();
  void COUpDownClick();
  void ResetSelection();
  void AddPrecedent();
  void LoadDictionary();
  void SaveDictionary();
  void Recognize();

  TDocument& document_;
  std::vector<TAnchored> anchored_;
};

// The lines of a memo as the recognition reads them.
std::vector<std::string> MemoLines(const QPlainTextEdit& memo);

}  // namespace imvora
