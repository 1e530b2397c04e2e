#pragma once

// Shared pieces of the GUI tests: a main window whose modal steps are scripted, and pictures.

#include <QtTest>
#include <QtWidgets>
#include <deque>
#include <optional>

#include "app/MainWindow.h"
#include "core/ImageFile.h"
#include "core/Raster.h"

namespace imvora {

// The settings of every test window (also Qt's file dialog state) live in a fresh folder.
struct TFreshSettings {
  TFreshSettings() {
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
  }
  QTemporaryDir folder;
};

// The next scripted answer, or none when the script has run out.
template <class T>
std::optional<T> TakeFront(std::deque<T>& answers) {
  if (answers.empty()) return std::nullopt;
  T answer = answers.front();
  answers.pop_front();
  return answer;
}

// What a file dialog looked like when it was shown.
struct TDialogVisit {
  QString Title;
  QFileDialog::FileMode Mode;
  QStringList NameFilters;
};

class TTestForm : private TFreshSettings, public TMainForm {
 public:
  // Answers for the next dialogs, in order; an empty optional, or none left, cancels.
  std::deque<std::optional<QStringList>> FileAnswers;
  std::deque<TSaveAnswer> SaveAnswers;
  // JPEG options: true is OK with quality 90; without answers the real dialog is shown.
  std::deque<bool> JpegAnswers;
  QList<TDialogVisit> Visits;
  QStringList Errors, Messages;
  int SaveQuestions = 0, JpegQuestions = 0;

  TSaveAnswer AskSaveChanges() override {
    ++SaveQuestions;
    return TakeFront(SaveAnswers).value_or(TSaveAnswer::Cancel);
  }
  bool AskJpegOptions(TJpegDialogResult& result) override {
    if (JpegAnswers.empty()) return TMainForm::AskJpegOptions(result);
    ++JpegQuestions;
    result = {"90", false};
    return *TakeFront(JpegAnswers);
  }

 protected:
  bool RunFileDialog(QFileDialog& dialog, QStringList& chosen) override {
    Visits.append({dialog.windowTitle(), dialog.fileMode(), dialog.nameFilters()});
    const std::optional<QStringList> answer = TakeFront(FileAnswers).value_or(std::nullopt);
    if (answer) chosen = *answer;
    return answer.has_value();
  }
  void ShowError(const QString& message) override { Errors.append(message); }
  void ShowMessage(const QString& message) override { Messages.append(message); }
};

// A picture whose pixel (x, y) has blue x, green y and red x + y (all modulo 256).
inline TBitmap GradientBitmap(int width, int height) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = static_cast<std::uint8_t>(x);
      p[1] = static_cast<std::uint8_t>(y);
      p[2] = static_cast<std::uint8_t>(x + y);
    }
  }
  return bitmap;
}

inline QString WriteBitmapFile(const QTemporaryDir& dir, const QString& name,
                               const TBitmap& bitmap) {
  const QString path = dir.filePath(name);
  WriteImageFile(FileNameOf(path), bitmap, TJpegOptions());
  return path;
}

inline QString WriteTextFile(const QTemporaryDir& dir, const QString& name,
                             const QByteArray& text) {
  QFile file(dir.filePath(name));
  if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) return QString();
  return file.fileName();
}

inline QList<int> SelectionOf(const TDocument& doc) {
  return {doc.SelLeft, doc.SelTop, doc.SelRight, doc.SelBottom};
}

// Types text one key event per character (QTest::keyClicks cannot send every character).
inline void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QApplication::sendEvent(widget, &release);
  }
}

// Replaces the whole text of an edit as a user would: select all, then type.
inline void RetypeText(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  TypeText(edit, text);
}

}  // namespace imvora
