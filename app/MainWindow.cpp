#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/AboutBox.h"
#include "app/HistogramWindow.h"
#include "app/JpegOptionsDialog.h"
#include "app/RecognitionWindow.h"
#include "app/SelectionView.h"
#include "core/AlphaRestore.h"
#include "core/BatchRunner.h"
#include "core/Error.h"
#include "core/Random.h"
#include "filters/FilterCatalog.h"

namespace imvora {
namespace {

const char* const kImageOpenFilter =
    "Все допустимые типы (*.bmp;*.jpg;*.jpeg;*.jpe;*.jfif)|*.bmp;*.jpg;*.jpeg;*.jpe;*.jfif|"
    "Точечный рисунок BMP (*.bmp)|*.bmp|"
    "Сжатое изображение JPEG(*.jpg;*.jpeg;*.jpe;*.jfif)|*.jpg;*.jpeg;*.jpe;*.jfif|"
    "Все файлы (*.*)|*.*";
const char* const kImageSaveFilter =
    "Точечный рисунок BMP (*.bmp)|*.bmp|"
    "Сжатое изображение JPEG(*.jpg;*.jpeg;*.jpe;*.jfif)|*.jpg;*.jpeg;*.jpe;*.jfif|"
    "Все файлы (*.*)|*.*";
const char* const kScriptFilter =
    "Imvora-скрипт (*.ivs)|*.ivs|Текстовые файлы (*.txt)|*.txt|Все файлы (*.*)|*.*";
const char* const kAlphaResultFilter = "32-битный рисунок BMP (*.bmp)|*.bmp|Все файлы (*.*)|*.*";

const char* const kFiltering = "Фильтрация";
const char* const kRecognition = "Распознавание";
// The top level of the "Фильтрация" menu after "Применить текущий фильтр"; an empty caption
// is a separator. Filters under one caption with a further level form its submenu.
const char* const kFilteringLayout[] = {"Гаусс-фильтры", "Цвет",   "Шум",        "BOX...",
                                        "Морфология...", "FFT...", "Wavelet...", "",
                                        "Поворот..."};
const char* const kModes[] = {"RGB", "YUV", "HSL", "CIE Lab", "R.e.a Lab", "RAW", "Diff", "Ratios"};
const char* const kUnknownError = "Неизвестная внутренняя ошибка";

QFont WithBold(QFont font, bool bold) {
  font.setBold(bold);
  return font;
}

QLabel* BoldLabel(const QString& caption, QWidget* parent) {
  auto* label = new QLabel(caption, parent);
  label->setFont(WithBold(label->font(), true));
  return label;
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback));
}

QFileDialog* CreateFileDialog(QWidget* parent, const char* objectName, const QString& title,
                              const char* filter) {
  auto* dialog = new QFileDialog(parent, title);
  dialog->setObjectName(objectName);
  // Qt's own dialog on every platform, so that the filter and title changes always apply.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setNameFilters(QtNameFilters(filter));
  return dialog;
}

}  // namespace

QStringList QtNameFilters(const QString& filter) {
  static const QRegularExpression trailingPatterns("\\s*\\([^()]*\\)\\s*$");
  const QStringList parts = filter.split('|');
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    description.remove(trailingPatterns);
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      if (pattern == "*.*") pattern = "*";  // Qt matches "*.*" only against names with a dot
    }
    result << description + " (" + patterns.join(' ') + ")";
  }
  return result;
}

QString DefaultSuffixFor(const QString& nameFilter) {
  static const QRegularExpression firstPattern("\\(\\*\\.([A-Za-z0-9]+)[ )]");
  const QRegularExpressionMatch match = firstPattern.match(nameFilter);
  return match.hasMatch() ? match.captured(1) : QString();
}

std::string FileNameOf(const QString& name) {
  return QFile::encodeName(name).toStdString();
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), document_(*this) {
  setObjectName("MainForm");
  setWindowTitle("Обработка и распознавание изображений");
  setGeometry(192, 105, 965, 659);

  CreateActions();
  RPSplitter = new QSplitter(Qt::Horizontal, this);
  RPSplitter->setObjectName("RPSplitter");
  RPSplitter->setChildrenCollapsible(false);
  RPSplitter->addWidget(CreateLeftPanel());
  RPSplitter->addWidget(CreateRightPanel());
  RPSplitter->setStretchFactor(0, 1);
  RPSplitter->setStretchFactor(1, 0);
  setCentralWidget(RPSplitter);
  CreateDialogs();

  propPanel_ = std::make_unique<TQtPanel>(*PropPanel);
  propPanel_->OnClientWidthChanged = [this](int width) { FollowPropPanelWidth(width); };
  propPanel_->RunHandler = [this](const std::function<void()>& handler) { RunCommand(handler); };
  document_.SetPropertyPanel(propPanel_.get());
  filterIndices_ = RegisterFilters(document_);
  CreateMenus();
  FollowPropPanelWidth(223);
  SeedRandomFromClock();
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateActions() {
  auto action = [this](const char* name, const QString& caption) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    return a;
  };
  OpenAction = action("OpenAction", "Открыть...");
  OpenAction->setShortcut(Qt::Key_F3);
  OpenAction->setIcon(ThemeIcon("document-open", QStyle::SP_DialogOpenButton));
  SaveAction = action("SaveAction", "Сохранить");
  SaveAction->setShortcut(Qt::Key_F2);
  SaveAction->setIcon(ThemeIcon("document-save", QStyle::SP_DialogSaveButton));
  SaveAsAction = action("SaveAsAction", "Сохранить как...");
  SaveAsAction->setShortcut(Qt::Key_F4);
  SaveAsAction->setIcon(ThemeIcon("document-save-as", QStyle::SP_DriveFDIcon));
  SaveViewAction = action("SaveViewAction", "Сохранить вид как...");
  AlphaRestoreAction = action("AlphaRestoreAction", "Восстановление альфа-канала...");
  RevertAction = action("RevertAction", "Восстановить");
  RevertAction->setIcon(ThemeIcon("document-revert", QStyle::SP_BrowserReload));
  RunScriptAction = action("RunScriptAction", "Выполнить скрипт на файлах...");
  ExitAction = action("ExitAction", "Выход");
  ShowSourceAction = action("ShowSourceAction", "Исходное изображение");
  ShowCurrentAction = action("ShowCurrentAction", "Текущее изображение");
  ShowMarkupAction = action("ShowMarkupAction", "Разметка");
  HistogramAction = action("HistogramAction", "Гистограмма");
  HistogramAction->setCheckable(true);
  HistogramAction->setChecked(true);
  SelBoundsAction = action("SelBoundsAction", "Границы выделения");
  SelBoundsAction->setCheckable(true);
  SelBoundsAction->setChecked(true);
  ApplyFilterAction = action("N38", "Применить текущий фильтр");
  KzrAction = action("KzrAction", "КЗР...");
  AboutAction = action("AboutAction", "О программе");
  AboutAction->setIcon(ThemeIcon("help-about", QStyle::SP_MessageBoxInformation));

  BindCommand(OpenAction, [this] { OpenCommand(); });
  BindCommand(SaveAction, [this] { document_.Save(); });
  BindCommand(SaveAsAction, [this] { document_.SaveAs(); });
  BindCommand(RevertAction, [this] { document_.Revert(); });
  BindCommand(ExitAction, [this] { close(); });
  BindCommand(ShowSourceAction, [this] { document_.ShowBitmap(document_.SourceImage); });
  BindCommand(ShowCurrentAction, [this] { document_.ShowBitmap(document_.CurrentImage); });
  BindCommand(ShowMarkupAction, [this] { document_.ShowMarkupView(); });
  BindCommand(SelBoundsAction, [this] { SelPaintBox->update(); });
  BindCommand(ApplyFilterAction, [this] { ApplyCommand(); });
  BindCommand(SaveViewAction, [this] { document_.SaveViewAs(); });
  BindCommand(AlphaRestoreAction, [this] { AlphaRestoreCommand(); });
  BindCommand(RunScriptAction, [this] { RunScriptCommand(); });
  BindCommand(AboutAction, [this] { AboutCommand(); });
  BindCommand(KzrAction, [this] { ShowRecognitionWindow(); });
  BindCommand(HistogramAction, [this] {
    if (histogram_ != nullptr) histogram_->setVisible(HistogramAction->isChecked());
  });
}

void TMainForm::BindCommand(QAction* action, const std::function<void()>& command) {
  connect(action, &QAction::triggered, this, [this, command] { RunCommand(command); });
}

void TMainForm::SetHistogramWindow(THistogram* window) {
  histogram_ = window;
  connect(window, &THistogram::Closed, this, [this] { HistogramAction->setChecked(false); });
}

QWidget* TMainForm::CreateLeftPanel() {
  auto* panel = new QWidget(this);
  panel->setObjectName("PanelLeft");
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* toolBar = new QToolBar(panel);
  toolBar->setObjectName("ToolBar1");
  toolBar->addAction(OpenAction);
  toolBar->addAction(SaveAction);
  toolBar->addAction(SaveAsAction);
  toolBar->addSeparator();
  toolBar->addAction(RevertAction);
  toolBar->addSeparator();
  toolBar->addAction(AboutAction);
  layout->addWidget(toolBar);

  ViewScrollBox = new QScrollArea(panel);
  ViewScrollBox->setObjectName("ViewScrollBox");
  ViewScrollBox->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SelPaintBox = new TSelPaintBox(document_, ViewScrollBox);
  SelPaintBox->FrameWanted = [this] { return SelBoundsAction->isChecked(); };
  SelPaintBox->OnMouseStatus = [this](const QString& status) { MouseStatePanel->setText(status); };
  ViewScrollBox->setWidget(SelPaintBox);
  layout->addWidget(ViewScrollBox, 1);

  layout->addWidget(CreateSelectionBar());

  MouseStatePanel = new QLabel(panel);
  MouseStatePanel->setObjectName("MouseStatePanel");
  MouseStatePanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  QFont mono("Courier New");
  mono.setStyleHint(QFont::TypeWriter);
  mono.setFixedPitch(true);
  MouseStatePanel->setFont(mono);
  MouseStatePanel->setMinimumHeight(QFontMetrics(mono).height() + 6);
  layout->addWidget(MouseStatePanel);
  return panel;
}

QWidget* TMainForm::CreateSelectionBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName("PanelLTRBRanges");
  bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  // A wide property panel may cut the bar's end rather than push the window wider.
  bar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(4, 3, 4, 3);
  layout->addWidget(BoldLabel(" Границы выделенной области:", bar));
  const std::pair<const char*, const char*> edits[] = {
      {"L = ", "SelLEdit"}, {"T = ", "SelTEdit"}, {"R = ", "SelREdit"}, {"B = ", "SelBEdit"}};
  QLineEdit** targets[] = {&SelLEdit, &SelTEdit, &SelREdit, &SelBEdit};
  const TSelectionBound bounds[] = {TSelectionBound::Left, TSelectionBound::Top,
                                    TSelectionBound::Right, TSelectionBound::Bottom};
  for (int i = 0; i < 4; ++i) {
    layout->addSpacing(6);
    layout->addWidget(new QLabel(edits[i].first, bar));
    auto* edit = new QLineEdit("0", bar);
    edit->setObjectName(edits[i].second);
    edit->setFixedWidth(48);
    const TSelectionBound bound = bounds[i];
    connect(edit, &QLineEdit::textEdited, this,
            [this, bound] { RunCommand([this, bound] { SelectionEdited(bound); }); });
    layout->addWidget(edit);
    *targets[i] = edit;
  }
  layout->addSpacing(8);
  SelectAllButton = new QPushButton("целиком", bar);
  SelectAllButton->setObjectName("SelectAllButton");
  connect(SelectAllButton, &QPushButton::clicked, this,
          [this] { RunCommand([this] { document_.SelectAll(); }); });
  layout->addWidget(SelectAllButton);
  layout->addStretch(1);
  return bar;
}

QWidget* TMainForm::CreateRightPanel() {
  RPanel = new QWidget(this);
  RPanel->setObjectName("RPanel");
  auto* layout = new QVBoxLayout(RPanel);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  auto* buttonPanel = new QFrame(RPanel);
  buttonPanel->setObjectName("AButtonPanel");
  auto* buttonLayout = new QHBoxLayout(buttonPanel);
  buttonLayout->setContentsMargins(6, 6, 6, 6);
  ApplyButton = new QPushButton("Применить", buttonPanel);
  ApplyButton->setObjectName("ApplyButton");
  ApplyButton->setFont(WithBold(ApplyButton->font(), true));
  connect(ApplyButton, &QPushButton::clicked, this,
          [this] { RunCommand([this] { ApplyCommand(); }); });
  buttonLayout->addWidget(ApplyButton);
  layout->addWidget(buttonPanel);

  auto* propFrame = new QFrame(RPanel);
  propFrame->setObjectName("PropPanel");
  propFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  PropPanel = propFrame;
  // The filters place their controls absolutely; only the channel group is laid out.
  auto* propLayout = new QVBoxLayout(PropPanel);
  propLayout->setContentsMargins(6, 0, 6, 6);
  propLayout->addStretch(1);
  auto* group = new QGroupBox(" Фильтровать: ", PropPanel);
  group->setObjectName("FilChGroupBox");
  group->setFont(WithBold(group->font(), true));
  auto* groupLayout = new QVBoxLayout(group);
  QCheckBox** checks[] = {&FilCh1CheckBox, &FilCh2CheckBox, &FilCh3CheckBox};
  for (int i = 0; i < 3; ++i) {
    auto* check = new QCheckBox(QString("Канал %1").arg(i + 1), group);
    check->setObjectName(QString("FilCh%1CheckBox").arg(i + 1));
    check->setFont(WithBold(check->font(), false));
    check->setChecked(true);
    groupLayout->addWidget(check);
    *checks[i] = check;
  }
  propLayout->addWidget(group);
  layout->addWidget(PropPanel, 1);
  return RPanel;
}

void TMainForm::CreateMenus() {
  QMenu* file = menuBar()->addMenu("Файл");
  file->addActions({OpenAction, SaveAction, SaveAsAction, SaveViewAction, AlphaRestoreAction});
  file->addSeparator();
  file->addAction(RevertAction);
  file->addSeparator();
  file->addAction(RunScriptAction);
  file->addSeparator();
  file->addAction(ExitAction);

  QMenu* show = menuBar()->addMenu("Показать");
  show->addActions(
      {ShowSourceAction, ShowCurrentAction, ShowMarkupAction, HistogramAction, SelBoundsAction});

  QMenu* mode = menuBar()->addMenu("Режим");
  for (const char* caption : kModes) mode->addAction(caption);

  QMenu* filtering = menuBar()->addMenu(kFiltering);
  filtering->addAction(ApplyFilterAction);
  filtering->addSeparator();
  QMenu* recognition = menuBar()->addMenu(kRecognition);
  CreateFilterMenus(filtering, recognition);
  recognition->addAction(KzrAction);
  recognition->addSeparator();
  recognition->addAction("Аппроксимация временных рядов...");

  QMenu* help = menuBar()->addMenu("Справка");
  help->addAction(AboutAction);
}

void TMainForm::CreateFilterMenus(QMenu* filtering, QMenu* recognition) {
  const std::vector<TFilterEntry>& catalog = FilterCatalog();
  for (const char* caption : kFilteringLayout) {
    if (*caption == '\0') {
      filtering->addSeparator();
      continue;
    }
    QMenu* submenu = nullptr;
    for (std::size_t i = 0; i < catalog.size(); ++i) {
      const std::vector<std::string>& path = catalog[i].MenuPath;
      if (path[0] != kFiltering || path[1] != caption) continue;
      if (path.size() > 2 && submenu == nullptr) submenu = filtering->addMenu(caption);
      CreateFilterAction(i, path.size() > 2 ? submenu : filtering);
    }
  }
  for (std::size_t i = 0; i < catalog.size(); ++i) {
    if (catalog[i].MenuPath[0] == kRecognition) CreateFilterAction(i, recognition);
  }
}

void TMainForm::CreateFilterAction(std::size_t entry, QMenu* menu) {
  const TFilterEntry& filter = FilterCatalog()[entry];
  QAction* action = menu->addAction(QString::fromStdString(filter.MenuPath.back()));
  action->setObjectName(filter.MenuItem);
  const int index = filterIndices_[entry];
  connect(action, &QAction::triggered, this,
          [this, index] { RunCommand([this, index] { document_.SelectFilter(index); }); });
}

void TMainForm::CreateDialogs() {
  ImageOpenDialog =
      CreateFileDialog(this, "ImageOpenDialog", "Выберите изображение", kImageOpenFilter);
  ImageOpenDialog->setFileMode(QFileDialog::ExistingFile);

  ImageSaveDialog =
      CreateFileDialog(this, "ImageSaveDialog", "Сохранить изображение...", kImageSaveFilter);
  ImageSaveDialog->setAcceptMode(QFileDialog::AcceptSave);
  // The dialog opens showing the JPEG type, yet a name typed without an extension is saved as a
  // bitmap, losing nothing, until the user picks a type in the list; then it follows that type.
  ImageSaveDialog->selectNameFilter(ImageSaveDialog->nameFilters().value(1));
  ImageSaveDialog->setDefaultSuffix("bmp");
  connect(ImageSaveDialog, &QFileDialog::filterSelected, ImageSaveDialog,
          [this](const QString& filter) {
            ImageSaveDialog->setDefaultSuffix(DefaultSuffixFor(filter));
          });

  ScriptOpenDialog =
      CreateFileDialog(this, "ScriptOpenDialog", "Выберите скрипт для выполнения", kScriptFilter);
  ScriptOpenDialog->setFileMode(QFileDialog::ExistingFile);
}

void TMainForm::FollowPropPanelWidth(int width) {
  // The right panel is as wide as the property panel; the view takes the rest.
  const int rest = RPSplitter->width() - RPSplitter->handleWidth() - width;
  RPSplitter->setSizes({std::max(rest, 1), width});
}

void TMainForm::OpenFile(const QString& name) {
  RunCommand([this, &name] { document_.OpenImageFile(FileNameOf(name)); });
}

void TMainForm::OpenCommand() {
  if (!document_.QuerySave()) return;
  QStringList chosen;
  if (!RunFileDialog(*ImageOpenDialog, chosen)) return;
  document_.OpenImageFile(FileNameOf(chosen.first()));
}

void TMainForm::ApplyCommand() {
  document_.ApplyFilter(document_.CurrentFilter(), FilCh1CheckBox->isChecked(),
                        FilCh2CheckBox->isChecked(), FilCh3CheckBox->isChecked());
}

namespace {

// Shows which file of a batch is being processed, and lets the window repaint meanwhile.
class TBatchProgressDialog : public IBatchProgress {
 public:
  explicit TBatchProgressDialog(QWidget* parent) : dialog_(parent) {
    dialog_.setWindowTitle("Выполнение скрипта");
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setCancelButton(nullptr);
    dialog_.setMinimumDuration(0);
  }
  void FileStarted(int index, int count, const std::string& name) override {
    dialog_.setMaximum(count);
    dialog_.setLabelText(QString("Файл %1 из %2: %3")
                             .arg(index + 1)
                             .arg(count)
                             .arg(QFile::decodeName(name.c_str())));
    dialog_.setValue(index);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }

 private:
  QProgressDialog dialog_;
};

}  // namespace

void TMainForm::RunScriptCommand() {
  // Several images may be chosen for this command only, whichever way it ends.
  ImageOpenDialog->setFileMode(QFileDialog::ExistingFiles);
  const auto singleSelection =
      qScopeGuard([this] { ImageOpenDialog->setFileMode(QFileDialog::ExistingFile); });
  QStringList script, images;
  if (!RunFileDialog(*ScriptOpenDialog, script)) return;
  if (!document_.QuerySave()) return;
  if (!RunFileDialog(*ImageOpenDialog, images)) return;
  // The batch names only the project's own errors; anything else is an unknown error.
  try {
    const std::vector<std::string> lines = ReadScriptFile(FileNameOf(script.first()));
    std::vector<std::string> files;
    for (const QString& image : images) files.push_back(FileNameOf(image));
    TBatchProgressDialog progress(this);
    RunBatch(document_, lines, files, &progress);
  } catch (const EImvoraError&) {
    throw;
  } catch (...) {
    throw EImvoraError(kUnknownError);
  }
}

void TMainForm::AlphaRestoreCommand() {
  QStringList first, second, result;
  bool chosen = false;
  {
    const QString title = ImageOpenDialog->windowTitle();
    const auto restore = qScopeGuard([&] { ImageOpenDialog->setWindowTitle(title); });
    ImageOpenDialog->setWindowTitle("Выберите первое изображение");
    chosen = RunFileDialog(*ImageOpenDialog, first);
    ImageOpenDialog->setWindowTitle("Выберите второе изображение");
    chosen = chosen && RunFileDialog(*ImageOpenDialog, second);
  }
  {
    QFileDialog& dialog = *ImageSaveDialog;
    const QString title = dialog.windowTitle();
    const QStringList filters = dialog.nameFilters();
    const QString filter = dialog.selectedNameFilter();
    const QString suffix = dialog.defaultSuffix();
    const auto restore = qScopeGuard([&] {
      dialog.setWindowTitle(title);
      dialog.setNameFilters(filters);
      dialog.selectNameFilter(filter);
      dialog.setDefaultSuffix(suffix);
    });
    dialog.setWindowTitle("Выберите результирующий файл");
    dialog.setNameFilters(QtNameFilters(kAlphaResultFilter));
    dialog.setDefaultSuffix("bmp");
    chosen = chosen && RunFileDialog(dialog, result);
  }
  if (!chosen) return;
  RestoreAlphaFiles(FileNameOf(first.first()), FileNameOf(second.first()),
                    FileNameOf(result.first()));
}

void TMainForm::AboutCommand() {
  if (aboutBox_ == nullptr) aboutBox_ = new TAboutBox(this);
  aboutBox_->exec();
}

// The window stays open beside the main window; showing it again only brings it forward.
void TMainForm::ShowRecognitionWindow() {
  if (recognitionWindow_ == nullptr) recognitionWindow_ = new TCDRForm(document_, this);
  recognitionWindow_->show();
  recognitionWindow_->raise();
  recognitionWindow_->activateWindow();
}

QLineEdit* TMainForm::EditOf(TSelectionBound bound) const {
  switch (bound) {
    case TSelectionBound::Left:
      return SelLEdit;
    case TSelectionBound::Top:
      return SelTEdit;
    case TSelectionBound::Right:
      return SelREdit;
    default:
      return SelBEdit;
  }
}

void TMainForm::SelectionEdited(TSelectionBound bound) {
  QLineEdit* edit = EditOf(bound);
  const TSelectionEditResult result =
      document_.TypeSelectionBound(bound, edit->text().toStdString());
  if (result.RewriteEdit) edit->setText(QString::number(document_.SelectionBound(bound)));
  if (result.SwappedPartner) {
    static const TSelectionBound partners[] = {TSelectionBound::Right, TSelectionBound::Bottom,
                                               TSelectionBound::Left, TSelectionBound::Top};
    const TSelectionBound partnerBound = partners[static_cast<int>(bound)];
    QLineEdit* partner = EditOf(partnerBound);
    edit->setText(QString::number(document_.SelectionBound(bound)));
    partner->setText(QString::number(document_.SelectionBound(partnerBound)));
    partner->setFocus();
    partner->setCursorPosition(0);
  }
  SelPaintBox->update();
}

void TMainForm::UpdateSelectionEdits() {
  SelLEdit->setText(QString::number(document_.SelLeft));
  SelTEdit->setText(QString::number(document_.SelTop));
  SelREdit->setText(QString::number(document_.SelRight));
  SelBEdit->setText(QString::number(document_.SelBottom));
}

TSaveAnswer TMainForm::AskSaveChanges() {
  QMessageBox box(QMessageBox::Question, "Сохранить?", "Изображение изменено. Сохранить изменения?",
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
  box.button(QMessageBox::Yes)->setText("Да");
  box.button(QMessageBox::No)->setText("Нет");
  box.button(QMessageBox::Cancel)->setText("Отмена");
  switch (box.exec()) {
    case QMessageBox::Yes:
      return TSaveAnswer::Yes;
    case QMessageBox::No:
      return TSaveAnswer::No;
    default:
      return TSaveAnswer::Cancel;
  }
}

bool TMainForm::ChooseSaveName(std::string& name) {
  QStringList chosen;
  if (!RunFileDialog(*ImageSaveDialog, chosen)) return false;
  name = FileNameOf(chosen.first());
  return true;
}

bool TMainForm::AskJpegOptions(TJpegDialogResult& result) {
  if (jpegDialog_ == nullptr) jpegDialog_ = new TJProp(this);
  if (jpegDialog_->exec() != QDialog::Accepted) return false;
  result.QualityText = jpegDialog_->Edit1->text().toStdString();
  result.Progressive = jpegDialog_->CheckBox1->isChecked();
  return true;
}

void TMainForm::PictureChanged() {
  SelPaintBox->PictureChanged();
}

void TMainForm::SelectionChanged() {
  UpdateSelectionEdits();
  SelPaintBox->update();
}

void TMainForm::HistogramChanged(std::unique_ptr<HistogramTable> table) {
  if (histogram_ != nullptr) histogram_->SetHistogram(std::move(table));
}

void TMainForm::FilterSelected() {
  ApplyButton->setFocus();
}

bool TMainForm::RunFileDialog(QFileDialog& dialog, QStringList& chosen) {
  if (dialog.exec() != QDialog::Accepted) return false;
  chosen = dialog.selectedFiles();
  return !chosen.isEmpty();
}

void TMainForm::ShowError(const QString& message) {
  QMessageBox::critical(this, "Ошибка", message);
}

void TMainForm::RunCommand(const std::function<void()>& command) {
  // Nothing may cross Qt's event loop: every error ends here, in the error box.
  try {
    command();
  } catch (const std::bad_alloc& error) {
    ShowError(QString::fromStdString(CommandErrorText(error, false)));
  } catch (const std::exception& error) {
    ShowError(QString::fromStdString(error.what()));
  } catch (...) {
    ShowError(kUnknownError);
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  bool mayClose = false;
  RunCommand([this, &mayClose] { mayClose = document_.QuerySave(); });
  if (mayClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace imvora
