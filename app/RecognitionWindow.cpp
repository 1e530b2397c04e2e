#include "app/RecognitionWindow.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>

#include "app/MainWindow.h"
#include "app/UpDown.h"
#include "core/Error.h"
#include "core/TextFile.h"
#include "recognition/ContextRecognition.h"
#include "recognition/ContourImageText.h"

namespace imvora {
namespace {

constexpr int kClientWidth = 553;
constexpr int kClientHeight = 577;
const char* const kTextFilter = "Текстовый файл (*.txt)|*.txt|Все файлы (*.*)|*.*";

QString JoinLines(const std::vector<std::string>& lines) {
  QStringList list;
  for (const std::string& line : lines) list << QString::fromStdString(line);
  return list.join('\n');
}

// Read-only fields show the dialog face colour, as the window's own background.
void MakeReadOnly(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  widget->setPalette(palette);
}

QFileDialog* TextFileDialog(QWidget* parent, const char* name, QFileDialog::AcceptMode mode) {
  auto* dialog = new QFileDialog(parent);
  dialog->setObjectName(name);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setNameFilters(QtNameFilters(kTextFilter));
  dialog->setAcceptMode(mode);
  return dialog;
}

}  // namespace

std::vector<std::string> MemoLines(const QPlainTextEdit& memo) {
  std::vector<std::string> lines;
  for (const QString& line : memo.toPlainText().split('\n')) lines.push_back(line.toStdString());
  return lines;
}

template <class T>
T* TCDRForm::Place(T* widget, const char* name, QRect design, int anchors) {
  widget->setObjectName(name);
  widget->setGeometry(design);
  anchored_.push_back({widget, design, anchors});
  return widget;
}

QLabel* TCDRForm::PlaceLabel(const char* name, const QString& caption, QRect design, int anchors,
                             bool bold) {
  auto* label = new QLabel(caption, this);
  QFont font = label->font();
  font.setBold(bold);
  label->setFont(font);
  // Labels size themselves to their caption, which a substitute font may make wider.
  design.setWidth(std::max(design.width(), label->sizeHint().width()));
  return Place(label, name, design, anchors);
}

QPushButton* TCDRForm::PlaceButton(const char* name, const QString& caption, QRect design,
                                   int anchors) {
  return Place(new QPushButton(caption, this), name, design, anchors);
}

TCDRForm::TCDRForm(TDocument& document, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      document_(document) {
  setObjectName("CDRForm");
  setWindowTitle("Контекстно-зависимое распознавание");
  QFont font("MS Sans Serif");
  font.setPixelSize(13);
  setFont(font);
  resize(kClientWidth, kClientHeight);
  setMinimumSize(kClientWidth, kClientHeight);

  const int all = kLeft | kTop | kRight | kBottom;
  Label1 = PlaceLabel("Label1", "Словарь:", {8, 8, 68, 16}, kLeft | kTop, true);
  DicMemo = Place(new QPlainTextEdit("1001\n1101\n11011", this), "DicMemo", {8, 32, 537, 169}, all);
  DicMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  DLButton = PlaceButton("DLButton", "Загрузить...", {8, 208, 417, 25}, kLeft | kRight | kBottom);
  DSButton = PlaceButton("DSButton", "Сохранить...", {432, 208, 113, 25}, kRight | kBottom);
  Label2 =
      PlaceLabel("Label2", "Количество классов:", {333, 244, 137, 16}, kRight | kBottom, false);
  NCEdit = Place(new QLineEdit(this), "NCEdit", {477, 240, 48, 24}, kRight | kBottom);
  NCUpDown =
      Place(new TUpDown(Qt::Vertical, this), "NCUpDown", {525, 240, 20, 24}, kRight | kBottom);
  NCUpDown->SetRange(0, kMaxClassCount);
  NCUpDown->SetAssociate(NCEdit);
  NCUpDown->SetPosition(2);
  Label3 = PlaceLabel("Label3", "Прецедентные данные:", {8, 248, 174, 16}, kLeft | kBottom, true);
  PRMemo =
      Place(new QPlainTextEdit("01", this), "PRMemo", {8, 272, 537, 105}, kLeft | kRight | kBottom);
  PRMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  PRMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  PRMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Label4 = PlaceLabel("Label4", "Контурный объект №:", {8, 388, 142, 16}, kLeft | kBottom, false);
  COEdit = Place(new QLineEdit(this), "COEdit", {160, 384, 73, 24}, kLeft | kBottom);
  COUpDown =
      Place(new TUpDown(Qt::Horizontal, this), "COUpDown", {233, 384, 32, 24}, kLeft | kBottom);
  COUpDown->SetRange(0, -1);
  COUpDown->SetAssociate(COEdit);
  PAButton =
      PlaceButton("PAButton", "-> в прецеденты", {272, 384, 193, 25}, kLeft | kRight | kBottom);
  Button1 = PlaceButton("Button1", "Сброс", {472, 384, 73, 25}, kRight | kBottom);
  Label5 = PlaceLabel("Label5", "Ответ: ", {8, 420, 46, 16}, kLeft | kBottom, false);
  RSEdit = Place(new QLineEdit(this), "RSEdit", {64, 416, 481, 24}, kLeft | kRight | kBottom);
  RSEdit->setReadOnly(true);
  MakeReadOnly(RSEdit);
  RAButton = PlaceButton("RAButton", "Распознать!", {8, 448, 537, 25}, kLeft | kRight | kBottom);
  LogMemo = Place(new QPlainTextEdit(this), "LogMemo", {8, 480, 537, 89}, kLeft | kRight | kBottom);
  LogMemo->setReadOnly(true);
  LogMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MakeReadOnly(LogMemo);
  CreateDialogs();
  SetTabOrder();

  connect(COUpDown, &TUpDown::Clicked, this, [this] { Run([this] { COUpDownClick(); }); });
  connect(Button1, &QPushButton::clicked, this, [this] { Run([this] { ResetSelection(); }); });
  connect(PAButton, &QPushButton::clicked, this, [this] { Run([this] { AddPrecedent(); }); });
  connect(DLButton, &QPushButton::clicked, this, [this] { Run([this] { LoadDictionary(); }); });
  connect(DSButton, &QPushButton::clicked, this, [this] { Run([this] { SaveDictionary(); }); });
  connect(RAButton, &QPushButton::clicked, this, [this] { Run([this] { Recognize(); }); });
}

void TCDRForm::CreateDialogs() {
  DicOpenDialog = TextFileDialog(this, "DicOpenDialog", QFileDialog::AcceptOpen);
  DicOpenDialog->setFileMode(QFileDialog::ExistingFile);
  DicSaveDialog = TextFileDialog(this, "DicSaveDialog", QFileDialog::AcceptSave);
  DicSaveDialog->setDefaultSuffix("txt");
}

void TCDRForm::SetTabOrder() {
  QWidget* const order[] = {RAButton, DicMemo,  DLButton, DSButton, NCEdit,  NCUpDown, PRMemo,
                            COEdit,   COUpDown, PAButton, RSEdit,   Button1, LogMemo};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
    setTabOrder(order[i], order[i + 1]);
  }
}

void TCDRForm::resizeEvent(QResizeEvent* event) {
  const int dx = width() - kClientWidth;
  const int dy = height() - kClientHeight;
  for (const TAnchored& a : anchored_) {
    QRect r = a.Design;
    if (a.Anchors & kRight) {
      if (a.Anchors & kLeft) {
        r.setWidth(r.width() + dx);
      } else {
        r.moveLeft(r.left() + dx);
      }
    }
    if (a.Anchors & kBottom) {
      if (a.Anchors & kTop) {
        r.setHeight(r.height() + dy);
      } else {
        r.moveTop(r.top() + dy);
      }
    }
    a.Widget->setGeometry(r);
  }
  QWidget::resizeEvent(event);
}

bool TCDRForm::RunFileDialog(QFileDialog& dialog, QString& chosen) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  chosen = dialog.selectedFiles().first();
  return true;
}

void TCDRForm::ShowError(const QString& message) {
  QMessageBox::critical(this, "Ошибка", message);
}

void TCDRForm::Run(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const EImvoraError& error) {
    ShowError(QString::fromStdString(error.what()));
  } catch (const std::exception&) {
    ShowError("Неизвестная внутренняя ошибка");
  }
}

void TCDRForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) Run([this] { FormShow(); });
}

void TCDRForm::FormShow() {
  SavedSelection = {document_.SelLeft, document_.SelTop, document_.SelRight, document_.SelBottom};
  const TContourSet* contours = document_.Contours();
  if (contours == nullptr) return;
  COUpDown->SetRange(0, static_cast<int>(contours->size()) - 1);
  if (COUpDown->Max() >= 0) document_.SelectContour(COUpDown->Position());
}

void TCDRForm::COUpDownClick() {
  // The glyph boxes are relative to the selection the contours were found on.
  document_.SelLeft = SavedSelection[0];
  document_.SelTop = SavedSelection[1];
  document_.SelRight = SavedSelection[2];
  document_.SelBottom = SavedSelection[3];
  document_.SelectContour(COUpDown->Position());
}

void TCDRForm::ResetSelection() {
  document_.SetSelection(SavedSelection[0], SavedSelection[1], SavedSelection[2],
                         SavedSelection[3]);
}

void TCDRForm::AddPrecedent() {
  const TContourSet* contours = document_.Contours();
  const int i = COUpDown->Position();
  if (contours == nullptr || i < 0 || i >= static_cast<int>(contours->size())) return;
  PRMemo->appendPlainText(QString::fromStdString(FormatContourImage(*(*contours)[i])));
}

void TCDRForm::LoadDictionary() {
  QString name;
  if (!RunFileDialog(*DicOpenDialog, name)) return;
  DicMemo->setPlainText(JoinLines(ReadTextLines(FileNameOf(name))));
}

void TCDRForm::SaveDictionary() {
  QString name;
  if (!RunFileDialog(*DicSaveDialog, name)) return;
  WriteTextLines(FileNameOf(name), MemoLines(*DicMemo));
}

void TCDRForm::Recognize() {
  const TContourSet* contours = document_.Contours();
  if (contours == nullptr) {
    throw EImvoraError(
        "Нет контуров для распознавания: сначала выполните «Распознавание контуров...» "
        "(кнопка «Применить»).");
  }
  std::vector<std::string> log;
  const auto showLog = [&] { LogMemo->setPlainText(JoinLines(log)); };
  TRecognitionResult result;
  try {
    result = RecognizeWord(*contours, MemoLines(*PRMemo), NCUpDown->Position(), MemoLines(*DicMemo),
                           log);
  } catch (...) {
    showLog();
    throw;
  }
  showLog();
  RSEdit->setText(QString::fromStdString(result.Answer));
  if (result.NewWord) DicMemo->appendPlainText(QString::fromStdString(result.Answer));
}

}  // namespace imvora
