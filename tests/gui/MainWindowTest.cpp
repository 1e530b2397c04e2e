// The main window: its menus and names, filter selection and the property panel, the apply
// button, the views, and the open/save/close commands with their questions and errors.

#include <QComboBox>
#include <QMenuBar>
#include <QSplitter>

#include "GuiTestSupport.h"
#include "core/Error.h"
#include "core/FilterParams.h"

namespace imvora {
namespace {

// A filter with one parameter of each kind, to see the panel's controls reach the filter.
class TParamTestFilter : public TParamFilter {
 public:
  TParamTestFilter() {
    Name = "ParamTest";
    AddParam(TParam::Integer("Радиус:", Radius)
                 .AtLeast(1)
                 .AtMost(50)
                 .WithHint("Радиус окна")
                 .WithWidth(200)
                 .OnStored([this] {
                   if (Radius == 13) throw EImvoraError("Несчастливый радиус");
                 }));
    AddParam(TParam::Choice("Режим:", Mode, {"первый", "второй", "третий"}));
    AddParam(TParam::Flag("Учитывать края", Edges));
  }
  std::int32_t Radius = 3;
  int Mode = 0;
  bool Edges = false;
};

// Rebuilds its controls whenever its list changes, from inside the list's own handler.
class TRebuildingFilter : public TParamFilter {
 public:
  TRebuildingFilter() {
    Name = "Rebuilding";
    AddParam(TParam::Choice("Вид:", Kind, {"один", "два"}).OnStored([this] {
      ++Rebuilds;
      CreateControls(*panel_);
    }));
  }
  void CreateControls(TPanel& parent) override {
    panel_ = &parent;
    TParamFilter::CreateControls(parent);
  }
  int Kind = 0;
  int Rebuilds = 0;

 private:
  TPanel* panel_ = nullptr;
};

// Throws, when applied, the project's error, a standard one or something else.
class TThrowingFilter : public TImvoraFilter {
 public:
  explicit TThrowingFilter(const char* name) { Name = name; }
  void Apply(TBitmap*, bool, bool, bool) override {
    if (Name == "Project") throw EImvoraError("Фильтр отказался");
    if (Name == "Standard") throw std::runtime_error("vector too long");
    throw 7;
  }
};

// The catalogue of the twenty filters, the row being the registry index.
const struct {
  const char* ScriptName;
  const char* MenuItem;
  QStringList MenuPath;
} kCatalogue[] = {
    {"Gauss", "N17", {"Фильтрация", "Гаусс-фильтры", "Размытие по Гауссу"}},
    {"Median", "N18", {"Фильтрация", "Шум", "Медианная фильтрация"}},
    {"Invert", "N33", {"Фильтрация", "Цвет", "Негатив"}},
    {"Morpho", "N22", {"Фильтрация", "Морфология..."}},
    {"GrayScale", "Grayscale1", {"Фильтрация", "Цвет", "В оттенки серого"}},
    {"GaussianNoise", "N30", {"Фильтрация", "Шум", "Нормальный шум"}},
    {"LightAlign", "N19", {"Фильтрация", "Гаусс-фильтры", "Выравнивание освещения"}},
    {"AutoColor", "N35", {"Фильтрация", "Цвет", "Цветовая коррекция..."}},
    {"Box", "BOX1", {"Фильтрация", "BOX..."}},
    {"kMeans", "k1", {"Фильтрация", "Цвет", "k-средние"}},
    {"Markup", "N13", {"Распознавание", "Разметка связных областей"}},
    {"FFT", "FFT1", {"Фильтрация", "FFT..."}},
    {"2DCleaner", "N2DCleaner1", {"Фильтрация", "Шум", "2D Cleaner"}},
    {"Wavelet", "Wavelet1", {"Фильтрация", "Wavelet..."}},
    {"Binarize", "N44", {"Фильтрация", "Цвет", "Бинаризация..."}},
    {"ContourRecognition", "N26", {"Распознавание", "Распознавание контуров..."}},
    {"Rotate", "N21", {"Фильтрация", "Поворот..."}},
    {"GSharpen", "Gsharpen1", {"Фильтрация", "Гаусс-фильтры", "Гаусс-резкость"}},
    {"Levels", "N34", {"Фильтрация", "Цвет", "Уровни..."}},
    {"MarkupAverage", "N36", {"Фильтрация", "Цвет", "Усреднение по разметке"}},
};

// The captions from the menu bar down to the item, through the menus that first took it in.
QStringList MenuPathOf(QAction* item) {
  QStringList path{item->text()};
  while (auto* menu = qobject_cast<QMenu*>(item->associatedObjects().value(0))) {
    path.prepend(menu->title());
    item = menu->menuAction();
  }
  return path;
}

QStringList ItemCaptions(const QMenu* menu) {
  QStringList captions;
  for (const QAction* action : menu->actions()) {
    captions << (action->isSeparator() ? "—" : action->text());
  }
  return captions;
}

QMenu* TopMenu(QMainWindow& form, const QString& title) {
  for (QAction* action : form.menuBar()->actions()) {
    if (action->text() == title) return action->menu();
  }
  return nullptr;
}

}  // namespace

class TMainWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TTestForm> form_;

  TDocument& Doc() { return form_->Document(); }
  QString OpenGradient(int width, int height, const QString& name = "picture.bmp") {
    const QString path = WriteBitmapFile(dir_, name, GradientBitmap(width, height));
    form_->OpenFile(path);
    return path;
  }
  int InvertIndex() { return Doc().FindFilter("Invert"); }

 private slots:
  void init() {
    form_ = std::make_unique<TTestForm>();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() { form_.reset(); }

  void theWindowCarriesItsCaptionsAndNames() {
    QCOMPARE(form_->windowTitle(), QString("Обработка и распознавание изображений"));
    QCOMPARE(form_->size(), QSize(965, 659));
    QCOMPARE(form_->ApplyButton->text(), QString("Применить"));
    QVERIFY(form_->ApplyButton->font().bold());
    for (const char* name :
         {"ApplyButton", "SelLEdit", "SelTEdit", "SelREdit", "SelBEdit", "FilCh1CheckBox",
          "FilCh2CheckBox", "FilCh3CheckBox", "MouseStatePanel", "PropPanel", "RPanel",
          "SelPaintBox", "ViewScrollBox", "PanelLTRBRanges", "SelectAllButton", "ToolBar1"}) {
      QVERIFY2(form_->findChild<QWidget*>(name) != nullptr, name);
    }
    for (QCheckBox* check : {form_->FilCh1CheckBox, form_->FilCh2CheckBox, form_->FilCh3CheckBox}) {
      QVERIFY(check->isChecked());
    }
    QCOMPARE(form_->FilCh2CheckBox->text(), QString("Канал 2"));
    QCOMPARE(form_->OpenAction->shortcut(), QKeySequence(Qt::Key_F3));
    QCOMPARE(form_->SaveAction->shortcut(), QKeySequence(Qt::Key_F2));
    QCOMPARE(form_->SaveAsAction->shortcut(), QKeySequence(Qt::Key_F4));
    QCOMPARE(form_->RPanel->width(), 223);
  }

  void theMenusFollowTheLayoutAndTheCatalog() {
    QStringList titles;
    for (QAction* action : form_->menuBar()->actions()) titles << action->text();
    QCOMPARE(titles, (QStringList{"Файл", "Правка", "Показать", "Режим", "Фильтрация",
                                  "Распознавание", "Справка"}));
    QCOMPARE(ItemCaptions(TopMenu(*form_, "Файл")),
             (QStringList{"Открыть...", "Последние файлы", "Сохранить", "Сохранить как...",
                          "Сохранить вид как...", "Восстановление альфа-канала...", "—",
                          "Восстановить", "—", "Выполнить скрипт на файлах...", "—", "Выход"}));
    QCOMPARE(ItemCaptions(TopMenu(*form_, "Фильтрация")),
             (QStringList{"Применить текущий фильтр", "—", "Гаусс-фильтры", "Цвет", "Шум", "BOX...",
                          "Морфология...", "FFT...", "Wavelet...", "—", "Поворот..."}));
    QCOMPARE(ItemCaptions(TopMenu(*form_, "Распознавание")),
             (QStringList{"Разметка связных областей", "Распознавание контуров...", "КЗР...", "—",
                          "Аппроксимация временных рядов..."}));
    QVERIFY(form_->KzrAction->isEnabled());
  }

  // Every filter keeps its catalogue slot, and its menu item selects it.
  void everyFilterHasItsSlotItemAndMenuPath() {
    QCOMPARE(Doc().Filters().size(), std::size_t{20});
    for (int index = 0; index < 20; ++index) {
      const auto& row = kCatalogue[index];
      auto* item = form_->findChild<QAction*>(row.MenuItem);
      QVERIFY2(item != nullptr, row.MenuItem);
      QCOMPARE(MenuPathOf(item), row.MenuPath);
      QCOMPARE(Doc().FindFilter(row.ScriptName), index);
      item->trigger();
      QCOMPARE(Doc().CurrentFilter(), index);
    }
    QVERIFY(form_->Errors.isEmpty());
  }

  void theShortcutsReachTheDialogs() {
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    QTest::keyClick(form_.get(), Qt::Key_F3);
    QCOMPARE(form_->Visits.size(), 1);
    QCOMPARE(form_->Visits[0].Title, QString("Выберите изображение"));
    QCOMPARE(form_->Visits[0].Mode, QFileDialog::ExistingFile);
    QCOMPARE(form_->Visits[0].NameFilters,
             (QStringList{"Все допустимые типы (*.bmp *.jpg *.jpeg *.jpe *.jfif)",
                          "Точечный рисунок BMP (*.bmp)",
                          "Сжатое изображение JPEG (*.jpg *.jpeg *.jpe *.jfif)", "Все файлы (*)"}));
    // F4 asks for a name even for a clean document.
    QTest::keyClick(form_.get(), Qt::Key_F4);
    QCOMPARE(form_->Visits.size(), 2);
    QCOMPARE(form_->Visits[1].Title, QString("Сохранить изображение..."));
  }

  void theSaveDialogSuffixFollowsTheFileType() {
    QFileDialog* dialog = form_->ImageSaveDialog;
    const QStringList filters = dialog->nameFilters();
    QCOMPARE(filters.size(), 3);
    QCOMPARE(dialog->selectedNameFilter(), filters[1]);
    // A name typed without an extension is a bitmap until the user picks another type.
    dialog->setDirectory(dir_.path());
    dialog->selectFile("noext");
    QCOMPARE(dialog->selectedFiles(), QStringList{dir_.filePath("noext.bmp")});
    emit dialog->filterSelected(filters[1]);
    QCOMPARE(dialog->defaultSuffix(), QString("jpg"));
    emit dialog->filterSelected(filters[0]);
    QCOMPARE(dialog->defaultSuffix(), QString("bmp"));
    emit dialog->filterSelected(filters[2]);
    QCOMPARE(dialog->defaultSuffix(), QString());
  }

  void thePanelControlsDriveTheFilter() {
    auto owned = std::make_unique<TParamTestFilter>();
    TParamTestFilter* filter = owned.get();
    const int index = Doc().AddFilter(std::move(owned));
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    Doc().SelectFilter(index);
    QVERIFY(form_->ApplyButton->hasFocus());

    const auto edits = form_->PropPanel->findChildren<QLineEdit*>();
    const auto combos = form_->PropPanel->findChildren<QComboBox*>();
    QCOMPARE(edits.size(), 1);
    QCOMPARE(combos.size(), 1);
    QLineEdit* radius = edits[0];
    QCOMPARE(radius->text(), QString("3"));
    QCOMPARE(radius->toolTip(), QString("Радиус окна"));
    QCOMPARE(radius->pos(), QPoint(radius->x(), 8));
    QCOMPARE(radius->width(), 200);
    // The panel, and the right panel with it, are as wide as the first edit's right edge + 8.
    QCOMPARE(form_->PropPanel->width(), radius->x() + 200 + 8);
    QCOMPARE(form_->RPanel->width(), form_->PropPanel->width());

    RetypeText(radius, "7");
    QCOMPARE(filter->Radius, 7);
    RetypeText(radius, "x");  // ignored without a message
    QCOMPARE(filter->Radius, 7);
    RetypeText(radius, "99");  // clamped, the text stays
    QCOMPARE(filter->Radius, 50);
    QCOMPARE(radius->text(), QString("99"));
    // A handler's error reaches the error box instead of Qt's event loop.
    RetypeText(radius, "13");
    QCOMPARE(form_->Errors, QStringList{"Несчастливый радиус"});

    QComboBox* mode = combos[0];
    QCOMPARE(mode->currentText(), QString("первый"));
    QVERIFY(!mode->isEditable());
    QTest::keyClick(mode, Qt::Key_Down);
    QCOMPARE(filter->Mode, 1);
    auto* edges = form_->PropPanel->findChild<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(edges != nullptr);
    QTest::mouseClick(edges, Qt::LeftButton, {}, QPoint(6, edges->height() / 2));
    QVERIFY(filter->CheckOf(2)->Checked());  // the filter reads its box when it applies

    // A value set from code shows in the widgets without looping back.
    filter->SetParam(0, 12);
    QCOMPARE(radius->text(), QString("12"));
    QCOMPARE(filter->Radius, 12);
    filter->SetParam(1, 2);
    QCOMPARE(mode->currentIndex(), 2);
    QCOMPARE(filter->Mode, 2);

    // Another filter takes the panel: the widgets go with the controls.
    Doc().SelectFilter(InvertIndex());
    QVERIFY(!radius->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form_->PropPanel->findChildren<QLineEdit*>().isEmpty());
    QVERIFY(form_->PropPanel->findChildren<QComboBox*>().isEmpty());
  }

  void aHandlerMayRebuildItsOwnControls() {
    auto owned = std::make_unique<TRebuildingFilter>();
    TRebuildingFilter* filter = owned.get();
    Doc().SelectFilter(Doc().AddFilter(std::move(owned)));
    QComboBox* first = form_->PropPanel->findChild<QComboBox*>();
    QTest::keyClick(first, Qt::Key_Down);
    QCOMPARE(filter->Rebuilds, 1);
    QCOMPARE(filter->Kind, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto combos = form_->PropPanel->findChildren<QComboBox*>();
    QCOMPARE(combos.size(), 1);
    QCOMPARE(combos[0]->currentIndex(), 0);  // a rebuilt list opens on its first item
    QVERIFY(combos[0]->isVisible());
  }

  void applyInvertsOnlyTheSelectedChannelsInsideTheSelection() {
    OpenGradient(40, 30);
    form_->findChild<QAction*>("N33")->trigger();
    Doc().SetSelection(5, 6, 14, 20);
    form_->FilCh2CheckBox->setChecked(false);
    QTest::mouseClick(form_->ApplyButton, Qt::LeftButton);
    QVERIFY(form_->Errors.isEmpty());
    QVERIFY(Doc().Modified);
    const TBitmap original = GradientBitmap(40, 30);
    for (int y = 0; y < 30; ++y) {
      for (int x = 0; x < 40; ++x) {
        const std::uint8_t* before = original.ScanLine(y) + 3 * x;
        const std::uint8_t* after = Doc().CurrentImage.ScanLine(y) + 3 * x;
        const bool inside = x >= 5 && x <= 14 && y >= 6 && y <= 20;
        QCOMPARE(after[0], inside ? std::uint8_t(255 - before[0]) : before[0]);  // channel 3
        QCOMPARE(after[1], before[1]);                                           // channel 2 off
        QCOMPARE(after[2], inside ? std::uint8_t(255 - before[2]) : before[2]);  // channel 1
      }
    }
    QVERIFY(Doc().Picture().SamePixels(Doc().CurrentImage));
  }

  void theViewsShowSourceAndCurrent() {
    OpenGradient(20, 10);
    form_->findChild<QAction*>("N33")->trigger();
    form_->ApplyFilterAction->trigger();
    QVERIFY(Doc().Picture().SamePixels(Doc().CurrentImage));
    form_->ShowSourceAction->trigger();
    QVERIFY(Doc().Picture().SamePixels(Doc().SourceImage));
    QVERIFY(!Doc().SourceImage.SamePixels(Doc().CurrentImage));
    form_->ShowCurrentAction->trigger();
    QVERIFY(Doc().Picture().SamePixels(Doc().CurrentImage));
    form_->ShowMarkupAction->trigger();  // no label map: nothing happens
    QVERIFY(Doc().Picture().SamePixels(Doc().CurrentImage));
    QVERIFY(form_->Errors.isEmpty());
  }

  void closingAModifiedDocumentAsksFirst() {
    const QString path = OpenGradient(20, 10);
    form_->RevertAction->trigger();  // a clean document becomes modified
    QVERIFY(Doc().Modified);
    form_->SaveAnswers = {TSaveAnswer::Cancel};
    QVERIFY(!form_->close());
    QVERIFY(form_->isVisible());
    form_->SaveAnswers = {TSaveAnswer::No};
    QVERIFY(form_->close());
    QCOMPARE(form_->SaveQuestions, 2);
    QVERIFY(QFileInfo::exists(path));
  }

  void answeringYesSavesBeforeClosing() {
    const QString path = OpenGradient(20, 10);
    form_->findChild<QAction*>("N33")->trigger();
    form_->ApplyFilterAction->trigger();
    form_->SaveAnswers = {TSaveAnswer::Yes};
    QVERIFY(form_->close());
    QVERIFY(LoadImageFile(FileNameOf(path)).SamePixels(Doc().CurrentImage));
    QVERIFY(!Doc().Modified);
  }

  void aSaveThatCannotFinishKeepsTheWindowOpen() {
    OpenGradient(20, 10);
    form_->RevertAction->trigger();
    // No file name and the save dialog cancelled: nothing is written, the window stays.
    Doc().FileName.clear();
    form_->SaveAnswers = {TSaveAnswer::Yes};
    QVERIFY(!form_->close());
    QCOMPARE(form_->Visits.size(), 1);
    QVERIFY(form_->Errors.isEmpty());
    // A write error is shown and abandons the close as well.
    Doc().FileName = FileNameOf(dir_.filePath("missing-folder/picture.bmp"));
    form_->SaveAnswers = {TSaveAnswer::Yes};
    QVERIFY(!form_->close());
    QCOMPARE(form_->Errors.size(), 1);
    QVERIFY(Doc().Modified);
  }

  void openingAFileThatCannotBeReadKeepsTheDocument() {
    const QString path = OpenGradient(20, 10);
    QFile damaged(dir_.filePath("damaged.bmp"));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write("BM not a picture");
    damaged.close();
    for (const QString& name : {dir_.filePath("missing.bmp"), damaged.fileName()}) {
      form_->FileAnswers = {QStringList{name}};
      form_->OpenAction->trigger();
    }
    QCOMPARE(form_->Errors.size(), 2);
    QCOMPARE(QString::fromStdString(Doc().FileName), path);
    QCOMPARE(Doc().CurrentImage.Width(), 20);
    QCOMPARE(Doc().Picture().Width(), 20);
  }

  void openingAsksToSaveAndStopsOnCancel() {
    OpenGradient(20, 10);
    form_->RevertAction->trigger();
    form_->SaveAnswers = {TSaveAnswer::Cancel};
    form_->OpenAction->trigger();
    QCOMPARE(form_->SaveQuestions, 1);
    QVERIFY(form_->Visits.isEmpty());
  }

  // Every error ends in the error box with its own message; only the batch runner names
  // nothing but the project's own errors.
  void filterErrorsAreReported() {
    const QString picture = OpenGradient(20, 10);
    for (const char* name : {"Project", "Standard", "Alien"}) {
      Doc().SelectFilter(Doc().AddFilter(std::make_unique<TThrowingFilter>(name)));
      QTest::mouseClick(form_->ApplyButton, Qt::LeftButton);
    }
    QFile script(dir_.filePath("standard.ivs"));
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write("Standard(YYY)") > 0);
    script.close();
    form_->FileAnswers = {QStringList{script.fileName()}, QStringList{picture}};
    form_->RunScriptAction->trigger();
    const QString unknown = "Неизвестная внутренняя ошибка";
    QCOMPARE(form_->Errors, (QStringList{"Фильтр отказался", "vector too long", unknown,
                                         picture + ": " + unknown + " (обработано 0 из 1)"}));
  }

  void nameFiltersConvertToQtSyntax() {
    QCOMPARE(QtNameFilters("Imvora-скрипт (*.ivs)|*.ivs|Все файлы (*.*)|*.*"),
             (QStringList{"Imvora-скрипт (*.ivs)", "Все файлы (*)"}));
    QCOMPARE(DefaultSuffixFor("Точечный рисунок BMP (*.bmp)"), QString("bmp"));
    QCOMPARE(DefaultSuffixFor("Сжатое изображение JPEG (*.jpg *.jpeg)"), QString("jpg"));
    QCOMPARE(DefaultSuffixFor("Все файлы (*)"), QString());
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TMainWindowTest)
#include "MainWindowTest.moc"
