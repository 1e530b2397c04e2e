#include "app/MainWindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QThread>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "app/AboutBox.h"
#include "app/BackgroundRun.h"
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
const char* const kCaption = "Обработка и распознавание изображений";
const char* const kRecentFilesKey = "RecentFiles";
// The zoom steps of "Увеличить" and "Уменьшить".
const double kZoomSteps[] = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1,  1.5, 2,
                             3,        4,       6,       8,       12,      16,      24, 32};

// The program's own settings: only the recent files live there.
std::unique_ptr<QSettings> OpenSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Imvora",
                                     "Imvora");
}

// The one local file a drag carries, or none.
QString DraggedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return QString();
  const QUrl url = data->urls().first();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

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

// Qt's dialog has no call that offers no name: its file lists and its name edit are cleared.
void OfferNoName(QFileDialog& dialog) {
  static const QRegularExpression fileLists("^(listView|treeView)$");
  for (auto* list : dialog.findChildren<QAbstractItemView*>(fileLists)) list->clearSelection();
  if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit")) name->clear();
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
  setWindowTitle(kCaption);
  setGeometry(192, 105, 965, 659);
  setAcceptDrops(true);

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
  document_.SetUndoRecording(true);
  CreateMenus();
  RebuildRecentMenu();
  ViewScrollBox->viewport()->installEventFilter(this);
  FollowPropPanelWidth(223);
  SetZoom(1);
  SeedRandomFromClock();
  RefreshState();
}

TMainForm::~TMainForm() = default;

void TMainForm::CreateActions() {
  auto action = [this](const char* name, const QString& caption) {
    auto* a = new QAction(caption, this);
    a->setObjectName(name);
    return a;
  };
  OpenAction = action("OpenAction", "Открыть...");
  // The desktop's usual keys beside the F-keys.
  OpenAction->setShortcuts({Qt::Key_F3, QKeySequence::Open});
  OpenAction->setIcon(ThemeIcon("document-open", QStyle::SP_DialogOpenButton));
  SaveAction = action("SaveAction", "Сохранить");
  SaveAction->setShortcuts({Qt::Key_F2, QKeySequence::Save});
  SaveAction->setIcon(ThemeIcon("document-save", QStyle::SP_DialogSaveButton));
  SaveAsAction = action("SaveAsAction", "Сохранить как...");
  SaveAsAction->setShortcuts({Qt::Key_F4, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
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
  UndoAction = action("UndoAction", "Отменить");
  UndoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  RedoAction = action("RedoAction", "Повторить");
  RedoAction->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  ZoomFitAction = action("ZoomFitAction", "По размеру окна");
  Zoom100Action = action("Zoom100Action", "Масштаб 100 %");
  Zoom100Action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
  ZoomInAction = action("ZoomInAction", "Увеличить");
  ZoomInAction->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Equal), QKeySequence(Qt::CTRL | Qt::Key_Plus)});
  ZoomOutAction = action("ZoomOutAction", "Уменьшить");
  ZoomOutAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Minus));
  viewGroup_ = new QActionGroup(this);
  for (QAction* view : {ShowSourceAction, ShowCurrentAction, ShowMarkupAction}) {
    view->setCheckable(true);
    viewGroup_->addAction(view);
  }

  BindCommand(OpenAction, [this] { OpenCommand(); });
  BindCommand(SaveAction, [this] { document_.Save(); });
  BindCommand(SaveAsAction, [this] { document_.SaveAs(); });
  BindCommand(RevertAction, [this] { document_.Revert(); });
  BindCommand(ExitAction, [this] { close(); });
  BindCommand(ShowSourceAction, [this] {
    ShowView(ShowSourceAction, [this] { document_.ShowBitmap(document_.SourceImage); });
  });
  BindCommand(ShowCurrentAction, [this] {
    ShowView(ShowCurrentAction, [this] { document_.ShowBitmap(document_.CurrentImage); });
  });
  BindCommand(ShowMarkupAction,
              [this] { ShowView(ShowMarkupAction, [this] { document_.ShowMarkupView(); }); });
  BindCommand(UndoAction, [this] { document_.Undo(); });
  BindCommand(RedoAction, [this] { document_.Redo(); });
  BindCommand(ZoomFitAction, [this] { ZoomToFit(); });
  BindCommand(Zoom100Action, [this] { SetZoom(1); });
  BindCommand(ZoomInAction, [this] { StepZoom(true); });
  BindCommand(ZoomOutAction, [this] { StepZoom(false); });
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
  ZoomLabel = new QLabel(panel);
  ZoomLabel->setObjectName("ZoomLabel");
  ZoomLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  ZoomLabel->setAlignment(Qt::AlignCenter);
  ZoomLabel->setMinimumWidth(QFontMetrics(ZoomLabel->font()).horizontalAdvance("3200 %") + 12);
  auto* statusBar = new QHBoxLayout;
  statusBar->setSpacing(2);
  statusBar->addWidget(MouseStatePanel, 1);
  statusBar->addWidget(ZoomLabel);
  layout->addLayout(statusBar);
  return panel;
}

QWidget* TMainForm::CreateSelectionBar() {
  auto* bar = new QFrame(this);
  bar->setObjectName("PanelLTRBRanges");
  bar->setFrameStyle(QFrame::Panel | QFrame::Raised);
  // A wide property panel may cut the bar's end rather than push the window wider: the row
  // keeps its own width inside the bar, which a layout would squeeze from the caption on.
  bar->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* row = new QWidget(bar);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(4, 3, 4, 3);
  layout->addWidget(BoldLabel(" Границы выделенной области:", row));
  const std::pair<const char*, const char*> edits[] = {
      {"L = ", "SelLEdit"}, {"T = ", "SelTEdit"}, {"R = ", "SelREdit"}, {"B = ", "SelBEdit"}};
  QLineEdit** targets[] = {&SelLEdit, &SelTEdit, &SelREdit, &SelBEdit};
  const TSelectionBound bounds[] = {TSelectionBound::Left, TSelectionBound::Top,
                                    TSelectionBound::Right, TSelectionBound::Bottom};
  for (int i = 0; i < 4; ++i) {
    layout->addWidget(new QLabel(edits[i].first, row));
    auto* edit = new QLineEdit("0", row);
    edit->setObjectName(edits[i].second);
    edit->setFixedWidth(48);
    const TSelectionBound bound = bounds[i];
    connect(edit, &QLineEdit::textEdited, this,
            [this, bound] { RunCommand([this, bound] { SelectionEdited(bound); }); });
    layout->addWidget(edit);
    *targets[i] = edit;
  }
  layout->addSpacing(8);
  SelectAllButton = new QPushButton("целиком", row);
  SelectAllButton->setObjectName("SelectAllButton");
  connect(SelectAllButton, &QPushButton::clicked, this,
          [this] { RunCommand([this] { document_.SelectAll(); }); });
  layout->addWidget(SelectAllButton);
  row->adjustSize();
  row->move(bar->frameWidth(), bar->frameWidth());
  bar->setFixedHeight(row->height() + 2 * bar->frameWidth());
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
  file->addAction(OpenAction);
  RecentMenu = file->addMenu("Последние файлы");
  RecentMenu->setObjectName("RecentMenu");
  file->addActions({SaveAction, SaveAsAction, SaveViewAction, AlphaRestoreAction});
  file->addSeparator();
  file->addAction(RevertAction);
  file->addSeparator();
  file->addAction(RunScriptAction);
  file->addSeparator();
  file->addAction(ExitAction);

  QMenu* edit = menuBar()->addMenu("Правка");
  edit->addActions({UndoAction, RedoAction});

  QMenu* show = menuBar()->addMenu("Показать");
  show->addActions(
      {ShowSourceAction, ShowCurrentAction, ShowMarkupAction, HistogramAction, SelBoundsAction});
  show->addSeparator();
  show->addActions({ZoomFitAction, Zoom100Action, ZoomInAction, ZoomOutAction});

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
  filterActions_.push_back(action);
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
  RunCommand([this, &name] {
    if (document_.QuerySave()) OpenPath(name);
  });
}

void TMainForm::OpenCommand() {
  if (!document_.QuerySave()) return;
  QStringList chosen;
  if (!RunImageDialog(*ImageOpenDialog, chosen)) return;
  OpenPath(chosen.first());
}

QString TMainForm::DocumentFile() const {
  return QFile::decodeName(document_.FileName.c_str());
}

bool TMainForm::RunImageDialog(QFileDialog& dialog, QStringList& chosen, const QString& proposed) {
  const QFileInfo document(DocumentFile());
  if (!document.fileName().isEmpty() && document.absoluteDir().exists()) {
    dialog.setDirectory(document.absolutePath());
  }
  if (dialog.acceptMode() == QFileDialog::AcceptSave) {
    // A name left from the last save must not be offered for another picture.
    if (proposed.isEmpty()) {
      OfferNoName(dialog);
    } else {
      dialog.selectFile(QFileInfo(proposed).absoluteFilePath());
    }
  }
  return RunFileDialog(dialog, chosen);
}

void TMainForm::OpenPath(const QString& name) {
  document_.OpenImageFile(FileNameOf(name));
  RememberRecentFile(name);
}

QStringList TMainForm::RecentFiles() const {
  return OpenSettings()->value(kRecentFilesKey).toStringList();
}

void TMainForm::RememberRecentFile(const QString& name) {
  const QString path = QFileInfo(name).absoluteFilePath();
  QStringList files = RecentFiles();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > kMaxRecentFiles) files.removeLast();
  OpenSettings()->setValue(kRecentFilesKey, files);
  RebuildRecentMenu();
}

void TMainForm::OpenRecent(const QString& name) {
  if (!QFileInfo(name).isFile()) {
    QStringList files = RecentFiles();
    files.removeAll(name);
    OpenSettings()->setValue(kRecentFilesKey, files);
    RebuildRecentMenu();
    throw EImvoraError("Файл «" + FileNameOf(QDir::toNativeSeparators(name)) +
                       "» не найден; он убран из списка последних файлов");
  }
  if (document_.QuerySave()) OpenPath(name);
}

void TMainForm::RebuildRecentMenu() {
  RecentMenu->clear();
  const QStringList files = RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    const QString name = files[i];
    QAction* item = RecentMenu->addAction(
        QString("&%1 %2").arg((i + 1) % 10).arg(QDir::toNativeSeparators(name)));
    BindCommand(item, [this, name] { OpenRecent(name); });
  }
  RecentMenu->setEnabled(!files.isEmpty() && !busy_);
}

void TMainForm::ApplyCommand() {
  const int index = document_.CurrentFilter();
  if (index < 0) return;
  const bool flag1 = FilCh1CheckBox->isChecked(), flag2 = FilCh2CheckBox->isChecked(),
             flag3 = FilCh3CheckBox->isChecked();
  const std::string& name = document_.Filter(index)->Name;
  const TFilterEntry* entry = FindCatalogEntry(name);
  const QString caption = QString::fromStdString(entry ? entry->MenuPath.back() : name);
  RunInBackground(caption, [&](TBackgroundRun& run) {
    run.SetLabel("Выполняется: " + caption);
    document_.ApplyFilter(index, flag1, flag2, flag3);
  });
}

bool TMainForm::OnWorkerThread() const {
  return QThread::currentThread() != thread();
}

template <class F>
auto TMainForm::OnGuiThread(F ask) {
  if (!OnWorkerThread()) return ask();
  decltype(ask()) answer{};
  QMetaObject::invokeMethod(
      this, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
  return answer;
}

void TMainForm::RunInBackground(const QString& title,
                                const std::function<void(TBackgroundRun&)>& work,
                                bool cancelInsideFilters) {
  TBackgroundRun run(this, title);
  run_ = &run;
  SetBusy(true);
  if (cancelInsideFilters) document_.SetProgress(&run);
  const auto idle = qScopeGuard([this] {
    document_.SetProgress(nullptr);
    run_ = nullptr;
    SetBusy(false);
    FlushWorkerRefreshes();
  });
  try {
    run.Run([&] { work(run); });
  } catch (const ECancelled&) {
    // The document is as it was before the run; there is nothing to say.
  }
}

void TMainForm::SetBusy(bool busy) {
  busy_ = busy;
  // Everything that changes the document, or reads what the run is changing, waits.
  for (QAction* action : {OpenAction, SaveAction, SaveAsAction, SaveViewAction, AlphaRestoreAction,
                          RevertAction, RunScriptAction, ShowSourceAction, ShowCurrentAction,
                          ShowMarkupAction, ApplyFilterAction, KzrAction, UndoAction, RedoAction}) {
    action->setEnabled(!busy);
  }
  for (QAction* action : filterActions_) action->setEnabled(!busy);
  RecentMenu->setEnabled(!busy && !RecentFiles().isEmpty());
  RPanel->setEnabled(!busy);
  findChild<QWidget*>("PanelLTRBRanges")->setEnabled(!busy);
  SelPaintBox->SetBusy(busy);
  if (recognitionWindow_ != nullptr) recognitionWindow_->setEnabled(!busy);
  if (!busy) RefreshState();
}

void TMainForm::FlushWorkerRefreshes() {
  if (workerHistogramChanged_) HistogramChanged();
  if (workerPictureChanged_) PictureChanged();
  if (workerSelectionChanged_) SelectionChanged();
  workerPictureChanged_ = workerSelectionChanged_ = workerHistogramChanged_ = false;
}

QString TMainForm::UndoCaption(const TUndoStep& step) const {
  if (step.Kind == TUndoKind::Revert) return RevertAction->text();
  const TFilterEntry* entry = FindCatalogEntry(step.FilterName);
  return QString::fromStdString(entry ? entry->MenuPath.back() : step.FilterName);
}

void TMainForm::RefreshState() {
  const QString name = QFileInfo(QFile::decodeName(document_.FileName.c_str())).fileName();
  QString title = name.isEmpty() ? QString(kCaption) : name + "[*] — " + kCaption;
  if (name.isEmpty() && document_.Modified) title += "[*]";
  setWindowTitle(title);
  setWindowModified(document_.Modified);

  const TUndoStack* history = document_.History();
  const TUndoStep* undo = history ? history->NextUndo() : nullptr;
  const TUndoStep* redo = history ? history->NextRedo() : nullptr;
  UndoAction->setText(undo ? "Отменить: " + UndoCaption(*undo) : QString("Отменить"));
  RedoAction->setText(redo ? "Повторить: " + UndoCaption(*redo) : QString("Повторить"));
  UndoAction->setEnabled(undo != nullptr && !busy_);
  RedoAction->setEnabled(redo != nullptr && !busy_);

  for (QAction* view : viewGroup_->actions()) view->setChecked(view == shownView_);
}

void TMainForm::ShowView(QAction* view, const std::function<void()>& show) {
  pendingView_ = view;
  const auto done = qScopeGuard([this] { pendingView_ = nullptr; });
  show();
}

void TMainForm::SetZoom(double zoom, std::optional<QPointF> anchor) {
  QScrollBar* horizontal = ViewScrollBox->horizontalScrollBar();
  QScrollBar* vertical = ViewScrollBox->verticalScrollBar();
  const QPointF at = anchor.value_or(QRectF(ViewScrollBox->viewport()->rect()).center());
  const QPoint scroll(horizontal->value(), vertical->value());
  TZoomAnchor next{at, (scroll + at) / SelPaintBox->Zoom(), {}, 0};
  // A picture smaller than the view cannot scroll, so the point drifts while the zoom grows:
  // further steps from the same place with nothing else changed go on towards the first point.
  const TZoomAnchor& last = zoomAnchor_;
  if (last.At == at && last.Scroll == scroll && last.Zoom == SelPaintBox->Zoom()) {
    next.PicturePoint = last.PicturePoint;
  }
  SelPaintBox->SetZoom(zoom);
  const QPointF newScroll = next.PicturePoint * SelPaintBox->Zoom() - at;
  horizontal->setValue(qRound(newScroll.x()));
  vertical->setValue(qRound(newScroll.y()));
  next.Scroll = QPoint(horizontal->value(), vertical->value());
  next.Zoom = SelPaintBox->Zoom();
  zoomAnchor_ = next;
  ZoomLabel->setText(QString("%1 %").arg(qRound(SelPaintBox->Zoom() * 100)));
}

void TMainForm::StepZoom(bool in, std::optional<QPointF> anchor) {
  const double zoom = SelPaintBox->Zoom();
  double next = zoom;
  for (double step : kZoomSteps) {
    if (in && step > zoom * 1.001) {
      next = step;
      break;
    }
    if (!in && step < zoom / 1.001) next = step;
  }
  SetZoom(next, anchor);
}

void TMainForm::ZoomToFit() {
  const QSize picture = SelPaintBox->PictureSize();
  if (picture.isEmpty()) return;
  const QSize room = ViewScrollBox->viewport()->size();
  SetZoom(std::min(static_cast<double>(room.width()) / picture.width(),
                   static_cast<double>(room.height()) / picture.height()));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ViewScrollBox->viewport() && event->type() == QEvent::Wheel) {
    auto* wheel = static_cast<QWheelEvent*>(event);
    if (wheel->modifiers() & Qt::ControlModifier) {
      if (wheel->angleDelta().y() != 0) StepZoom(wheel->angleDelta().y() > 0, wheel->position());
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!busy_ && !DraggedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  const QString name = DraggedFile(event->mimeData());
  if (busy_ || name.isEmpty()) return;
  event->acceptProposedAction();
  RunCommand([this, &name] {
    if (document_.QuerySave()) OpenPath(name);
  });
}

namespace {

// The batch's files on the run's dialog; "Отмена" stops the batch before the next file.
class TBatchProgress : public IBatchProgress {
 public:
  explicit TBatchProgress(TBackgroundRun& run) : run_(run) {}
  void FileStarted(int index, int count, const std::string& name) override {
    run_.SetLabel(QString("Файл %1 из %2: %3")
                      .arg(index + 1)
                      .arg(count)
                      .arg(QFile::decodeName(name.c_str())));
    run_.SetShare(index, count);
  }
  bool StopRequested() override { return run_.Cancelled(); }

 private:
  TBackgroundRun& run_;
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
  if (!RunImageDialog(*ImageOpenDialog, images)) return;
  // The batch names only the project's own errors; anything else is an unknown error.
  try {
    const std::vector<std::string> lines = ReadScriptFile(FileNameOf(script.first()));
    std::vector<std::string> files;
    for (const QString& image : images) files.push_back(FileNameOf(image));
    // The batch records no undo steps and leaves a fresh history.
    document_.SetUndoRecording(false);
    const auto history = qScopeGuard([this] { document_.SetUndoRecording(true); });
    int done = 0;
    // Each file is finished once started: a cancel waits for the next file.
    RunInBackground(
        "Выполнение скрипта",
        [&](TBackgroundRun& run) {
          TBatchProgress progress(run);
          done = RunBatch(document_, lines, files, &progress);
        },
        false);
    if (done < static_cast<int>(files.size())) {
      ShowMessage(QString("Выполнение скрипта остановлено: обработано %1 из %2")
                      .arg(done)
                      .arg(files.size()));
    }
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
    chosen = RunImageDialog(*ImageOpenDialog, first);
    ImageOpenDialog->setWindowTitle("Выберите второе изображение");
    chosen = chosen && RunImageDialog(*ImageOpenDialog, second);
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
    chosen = chosen && RunImageDialog(dialog, result);
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
  return OnGuiThread([this] { return AskSaveChangesHere(); });
}

TSaveAnswer TMainForm::AskSaveChangesHere() {
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
  return OnGuiThread([this, &name] {
    return ChooseSaveNameHere(name, QFile::decodeName(name.c_str()));
  });
}

void TMainForm::FileWritten(const std::string& name) {
  OnGuiThread([this, &name] {
    RememberRecentFile(QFile::decodeName(name.c_str()));
    return true;
  });
}

bool TMainForm::ChooseSaveNameHere(std::string& name, const QString& proposed) {
  QStringList chosen;
  if (!RunImageDialog(*ImageSaveDialog, chosen, proposed)) return false;
  name = FileNameOf(chosen.first());
  return true;
}

bool TMainForm::AskJpegOptions(TJpegDialogResult& result) {
  return OnGuiThread([this, &result] { return AskJpegOptionsHere(result); });
}

bool TMainForm::AskJpegOptionsHere(TJpegDialogResult& result) {
  if (jpegDialog_ == nullptr) jpegDialog_ = new TJProp(this);
  if (jpegDialog_->exec() != QDialog::Accepted) return false;
  result.QualityText = jpegDialog_->Edit1->text().toStdString();
  result.Progressive = jpegDialog_->CheckBox1->isChecked();
  return true;
}

// The document's refreshes may come from a run on the worker thread; the widgets are then
// refreshed once it has ended.
void TMainForm::PictureChanged() {
  if (OnWorkerThread()) {
    workerPictureChanged_ = true;
    return;
  }
  shownView_ = pendingView_ != nullptr ? pendingView_ : ShowCurrentAction;
  SelPaintBox->PictureChanged();
  RefreshState();
}

void TMainForm::SelectionChanged() {
  if (OnWorkerThread()) {
    workerSelectionChanged_ = true;
    return;
  }
  UpdateSelectionEdits();
  SelPaintBox->update();
}

void TMainForm::HistogramChanged() {
  if (OnWorkerThread()) {
    workerHistogramChanged_ = true;
    return;
  }
  if (histogram_ == nullptr) return;
  histogram_->HistogramChanged(
      [this]() -> const HistogramTable& { return document_.PictureHistogram(); });
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

void TMainForm::ShowMessage(const QString& message) {
  QMessageBox::information(this, "Imvora", message);
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
  RefreshState();
  // A close asked for during a run goes on once the command that started the run has ended.
  if (closeAfterRun_ && !busy_) {
    closeAfterRun_ = false;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  }
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // A run cannot be left half done: closing cancels it and goes on once it has ended.
  if (run_ != nullptr) {
    run_->Cancel();
    closeAfterRun_ = true;
    event->ignore();
    return;
  }
  bool mayClose = false;
  RunCommand([this, &mayClose] { mayClose = document_.QuerySave(); });
  if (mayClose) {
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace imvora
