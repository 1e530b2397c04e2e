// The main window: the property panel with a filter's controls and the levels curve editor, the
// apply button with the selection and the channels, the typed selection, the view with its status
// line and frame, and the open/save/close commands with their questions and errors.

#include "GuiTestSupport.h"
#include "app/SelectionView.h"
#include "core/Error.h"
#include "core/FilterParams.h"

namespace imvora {
namespace {

// A filter with one parameter of each kind, to see the panel's controls reach the filter; its
// second list rebuilds the controls from inside its own handler.
// The twenty filters as the catalogue lists them, the row being the registry index: item name,
// then the captions from the menu bar down to the item.
const QStringList kCatalogue[] = {
    {"Gauss", "N17", "Фильтрация", "Гаусс-фильтры", "Размытие по Гауссу"},
    {"Median", "N18", "Фильтрация", "Шум", "Медианная фильтрация"},
    {"Invert", "N33", "Фильтрация", "Цвет", "Негатив"},
    {"Morpho", "N22", "Фильтрация", "Морфология..."},
    {"GrayScale", "Grayscale1", "Фильтрация", "Цвет", "В оттенки серого"},
    {"GaussianNoise", "N30", "Фильтрация", "Шум", "Нормальный шум"},
    {"LightAlign", "N19", "Фильтрация", "Гаусс-фильтры", "Выравнивание освещения"},
    {"AutoColor", "N35", "Фильтрация", "Цвет", "Цветовая коррекция..."},
    {"Box", "BOX1", "Фильтрация", "BOX..."},
    {"kMeans", "k1", "Фильтрация", "Цвет", "k-средние"},
    {"Markup", "N13", "Распознавание", "Разметка связных областей"},
    {"FFT", "FFT1", "Фильтрация", "FFT..."},
    {"2DCleaner", "N2DCleaner1", "Фильтрация", "Шум", "2D Cleaner"},
    {"Wavelet", "Wavelet1", "Фильтрация", "Wavelet..."},
    {"Binarize", "N44", "Фильтрация", "Цвет", "Бинаризация..."},
    {"ContourRecognition", "N26", "Распознавание", "Распознавание контуров..."},
    {"Rotate", "N21", "Фильтрация", "Поворот..."},
    {"GSharpen", "Gsharpen1", "Фильтрация", "Гаусс-фильтры", "Гаусс-резкость"},
    {"Levels", "N34", "Фильтрация", "Цвет", "Уровни..."},
    {"MarkupAverage", "N36", "Фильтрация", "Цвет", "Усреднение по разметке"},
};

class TParamTestFilter : public TParamFilter {
 public:
  TParamTestFilter() {
    Name = "ParamTest";
    AddParam(
        TParam::Integer("Радиус:", Radius).AtLeast(1).AtMost(50).WithWidth(200).OnStored([this] {
          if (Radius == 13) throw EImvoraError("Несчастливый радиус");
        }));
    AddParam(TParam::Choice("Режим:", Mode, {"первый", "второй", "третий"}));
    AddParam(TParam::Flag("Учитывать края", Edges));
    AddParam(TParam::Choice("Вид:", Kind, {"один", "два"}).OnStored([this] {
      CreateControls(*panel_);
    }));
  }
  void CreateControls(TPanel& parent) override {
    panel_ = &parent;
    TParamFilter::CreateControls(parent);
  }
  std::int32_t Radius = 3;
  int Mode = 0, Kind = 0;
  bool Edges = false;
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

}  // namespace

class TMainWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TTestForm> form_;

  TDocument& Doc() { return form_->Document(); }
  QString OpenGradient(int width, int height) {
    const QString path = WriteBitmapFile(dir_, "picture.bmp", GradientBitmap(width, height));
    form_->OpenFile(path);
    return path;
  }
  QList<QLineEdit*> Edits() {
    return {form_->SelLEdit, form_->SelTEdit, form_->SelREdit, form_->SelBEdit};
  }
  QStringList EditTexts() {
    QStringList texts;
    for (const QLineEdit* edit : Edits()) texts << edit->text();
    return texts;
  }

  // The levels curve area lies at (8, 8) of its editor, which lies at (8, 0) of the panel: a
  // layout that moved it would find no paint box here.
  QWidget* LevelsBox() { return form_->PropPanel->childAt(16 + 100, 8 + 100); }
  template <class T>
  T* LevelsControl(const QString& caption) {
    for (T* control : LevelsBox()->parentWidget()->findChildren<T*>()) {
      if (control->text() == caption) return control;
    }
    return nullptr;
  }
  // Height of the black bar painted in each of the columns of the curve area.
  QList<int> Bars(const QList<int>& columns) {
    const QImage image = LevelsBox()->grab().toImage();
    QList<int> bars;
    for (int x : columns) {
      int y = 255;
      while (y >= 0 && image.pixel(x, y) == qRgb(0, 0, 0)) --y;
      bars << 255 - y;
    }
    return bars;
  }
  void SelectFromMenu(const char* item) { form_->findChild<QAction*>(item)->trigger(); }

 private slots:
  void init() {
    form_ = std::make_unique<TTestForm>();
    form_->show();
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  void cleanup() { form_.reset(); }
  // Every filter keeps its catalogue slot, and its menu item, reached through its menu path,
  // selects it.
  void everyFilterHasItsSlotAndMenuItem() {
    QCOMPARE(Doc().Filters().size(), std::size_t{20});
    for (int index = 0; index < 20; ++index) {
      QStringList row = kCatalogue[index];
      const QString name = row.takeFirst(), item = row.takeFirst();
      QAction* action = form_->findChild<QAction*>(item);
      QVERIFY2(action != nullptr, qPrintable(item));
      QStringList path{action->text()};
      for (auto* menu = qobject_cast<QMenu*>(action->associatedObjects().value(0)); menu;
           menu = qobject_cast<QMenu*>(menu->menuAction()->associatedObjects().value(0))) {
        path.prepend(menu->title());
      }
      QCOMPARE(path, row);
      QCOMPARE(Doc().FindFilter(name.toStdString()), index);
      action->trigger();
      QCOMPARE(Doc().CurrentFilter(), index);
    }
  }

  void theSaveDialogSuffixFollowsTheFileType() {
    QFileDialog* dialog = form_->ImageSaveDialog;
    const QStringList filters = dialog->nameFilters();
    QCOMPARE(dialog->selectedNameFilter(), filters[1]);
    // A name typed without an extension is a bitmap until the user picks another type.
    dialog->setDirectory(dir_.path());
    dialog->selectFile("noext");
    QCOMPARE(dialog->selectedFiles(), QStringList{dir_.filePath("noext.bmp")});
    for (const auto& [filter, suffix] : {std::pair{1, "jpg"}, {0, "bmp"}, {2, ""}}) {
      emit dialog->filterSelected(filters[filter]);
      QCOMPARE(dialog->defaultSuffix(), QString(suffix));
    }
  }

  void thePanelControlsDriveTheFilter() {
    auto owned = std::make_unique<TParamTestFilter>();
    TParamTestFilter* filter = owned.get();
    const int index = Doc().AddFilter(std::move(owned));
    Doc().SelectFilter(index);
    QVERIFY(form_->ApplyButton->hasFocus());
    auto* radius = form_->PropPanel->findChild<QLineEdit*>();
    auto* mode = form_->PropPanel->findChild<QComboBox*>();
    QCOMPARE(radius->text(), QString("3"));
    // The right panel is as wide as the first edit's right edge + 8.
    QCOMPARE(form_->RPanel->width(), radius->geometry().right() + 1 + 8);

    // Text typed, the radius after; the text always stays as typed.
    for (const auto& [text, after] : {std::pair{"7", 7}, {"x", 7}, {"99", 50}}) {
      RetypeText(radius, text);
      QCOMPARE(filter->Radius, after);
      QCOMPARE(radius->text(), QString(text));
    }
    QVERIFY(form_->Errors.isEmpty());
    // A handler's error reaches the error box instead of Qt's event loop.
    RetypeText(radius, "13");
    QCOMPARE(form_->Errors, QStringList{"Несчастливый радиус"});

    QVERIFY(!mode->isEditable());
    QTest::keyClick(mode, Qt::Key_Down);
    QCOMPARE(filter->Mode, 1);
    auto* edges = form_->PropPanel->findChild<QCheckBox*>(QString(), Qt::FindDirectChildrenOnly);
    QTest::mouseClick(edges, Qt::LeftButton, {}, QPoint(6, edges->height() / 2));
    QVERIFY(filter->CheckOf(2)->Checked());  // the filter reads its box when it applies

    // A value set from code shows in the widgets without looping back.
    filter->SetParam(0, 12);
    filter->SetParam(1, 2);
    QCOMPARE(radius->text(), QString("12"));
    QCOMPARE(mode->currentIndex(), 2);
    QCOMPARE(std::pair(filter->Radius, filter->Mode), std::pair(12, 2));

    // A list's handler may rebuild the controls it belongs to; the new list opens on its first
    // item.
    QTest::keyClick(form_->PropPanel->findChildren<QComboBox*>().at(1), Qt::Key_Down);
    QCOMPARE(filter->Kind, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const auto combos = form_->PropPanel->findChildren<QComboBox*>();
    QCOMPARE(combos.size(), 2);
    QVERIFY(combos[1]->isVisible() && combos[1]->currentIndex() == 0);

    // Another filter takes the panel: the widgets go with the controls.
    Doc().SelectFilter(Doc().FindFilter("Invert"));
    QVERIFY(!combos[0]->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(form_->PropPanel->findChildren<QLineEdit*>().isEmpty());
    QVERIFY(form_->PropPanel->findChildren<QComboBox*>().isEmpty());
  }

  // On the levels editor a drag draws the curve, which the filter applies; the power button
  // raises it; selecting the filter again shows the identity and keeps the typed power.
  void theLevelsEditorDrawsTheCurve() {
    OpenGradient(16, 16);
    SelectFromMenu("N34");
    QVERIFY(LevelsBox() != nullptr);
    // The whole editor shows, with a margin of 8 at its right.
    QCOMPARE(form_->RPanel->width() - LevelsBox()->parentWidget()->geometry().right() - 1, 8);
    // Level c is a bar from below the box up to row 256 − c, exclusive.
    QCOMPARE(Bars({0, 1, 2, 255}), (QList<int>{0, 0, 1, 254}));
    QTest::mousePress(LevelsBox(), Qt::LeftButton, {}, QPoint(10, 200));
    QTest::mouseMove(LevelsBox(), QPoint(20, 100));
    QTest::mouseRelease(LevelsBox(), Qt::LeftButton, {}, QPoint(20, 100));
    QCOMPARE(Bars({9, 10, 15, 20, 21}), (QList<int>{8, 55, 105, 155, 20}));
    QTest::mouseClick(LevelsControl<QCheckBox>("применять к совокупности каналов"), Qt::LeftButton);
    QTest::mouseClick(form_->ApplyButton, Qt::LeftButton);
    const std::uint8_t* p = Doc().CurrentImage.ScanLine(3) + 3 * 12;  // blue 12, green 3, red 15
    QCOMPARE((QList<int>{p[0], p[1], p[2]}), (QList<int>{76, 3, 106}));

    RetypeText(LevelsControl<QLineEdit>("1.0"), "0.5");
    QTest::mouseClick(LevelsControl<QPushButton>("Возвести в степень"), Qt::LeftButton);
    QCOMPARE(Bars({64, 255}), (QList<int>{126, 254}));
    QTest::mouseClick(LevelsControl<QCheckBox>("интерфейсная интерполяция"), Qt::LeftButton);
    SelectFromMenu("N33");
    SelectFromMenu("N34");
    QCOMPARE(Bars({64}), QList<int>{63});
    QVERIFY(!LevelsControl<QCheckBox>("интерфейсная интерполяция")->isChecked());
    QVERIFY(LevelsControl<QLineEdit>("0.5") != nullptr);
  }

  void applyInvertsOnlyTheSelectedChannelsInsideTheSelection() {
    OpenGradient(40, 30);
    SelectFromMenu("N33");
    Doc().SetSelection(5, 6, 14, 20);
    form_->FilCh2CheckBox->setChecked(false);
    form_->ApplyFilterAction->trigger();  // the menu item, as the button elsewhere
    QVERIFY(form_->Errors.isEmpty() && Doc().Modified);
    // Inside the selection channels 1 (red) and 3 (blue) are inverted, green stays.
    TBitmap expected = GradientBitmap(40, 30);
    for (int y = 6; y <= 20; ++y) {
      for (int x = 5; x <= 14; ++x) {
        std::uint8_t* p = expected.ScanLine(y) + 3 * x;
        p[0] ^= 255;
        p[2] ^= 255;
      }
    }
    QVERIFY(Doc().CurrentImage.SamePixels(expected));
    QVERIFY(Doc().Picture().SamePixels(expected));
    form_->ShowSourceAction->trigger();
    QVERIFY(Doc().Picture().SamePixels(GradientBitmap(40, 30)));
    form_->ShowCurrentAction->trigger();
    form_->ShowMarkupAction->trigger();  // no label map: nothing happens
    QVERIFY(Doc().Picture().SamePixels(expected));
  }

  void typedSelectionBoundsAreClampedAndOrdered() {
    OpenGradient(640, 480);
    QCOMPARE(SelectionOf(Doc()), (QList<int>{0, 0, 639, 479}));
    // Edit (L, T, R, B), text typed, the bounds after and the edit that has the focus: a bound
    // beyond the picture is rewritten; one beyond its partner swaps with it and passes the focus.
    const std::tuple<int, const char*, QList<int>, int> steps[] = {
        {2, "900", {0, 0, 639, 479}, 2},   {0, "700", {639, 0, 639, 479}, 0},
        {0, "0", {0, 0, 639, 479}, 0},     {2, "100", {0, 0, 100, 479}, 2},
        {0, "300", {100, 0, 300, 479}, 2}, {1, "50", {100, 50, 300, 479}, 1},
        {3, "7", {100, 7, 300, 50}, 1}};
    for (const auto& [edit, text, bounds, focus] : steps) {
      RetypeText(Edits()[edit], text);
      QCOMPARE(SelectionOf(Doc()), bounds);
      QStringList texts;
      for (int bound : bounds) texts << QString::number(bound);
      QCOMPARE(EditTexts(), texts);
      QVERIFY(Edits()[focus]->hasFocus());
    }
    QCOMPARE(form_->SelTEdit->cursorPosition(), 0);
    // A letter changes nothing and shows no message.
    form_->SelLEdit->setFocus();
    form_->SelLEdit->end(false);
    TypeText(form_->SelLEdit, "x");
    QCOMPARE(form_->SelLEdit->text(), QString("100x"));
    QCOMPARE(SelectionOf(Doc()), (QList<int>{100, 7, 300, 50}));
    QVERIFY(form_->Errors.isEmpty());
    QTest::mouseClick(form_->SelectAllButton, Qt::LeftButton);
    QCOMPARE(EditTexts(), (QStringList{"0", "0", "639", "479"}));
  }

  // The status line shows the pixel under the mouse; the frame inverts the pixels around the
  // selection, one pixel outside it.
  void theViewShowsThePixelAndTheFrame() {
    OpenGradient(640, 480);
    QTest::mouseMove(form_->SelPaintBox, QPoint(5, 7));
    // Blue 5, green 7, red 12 in the gradient.
    QCOMPARE(form_->MouseStatePanel->text(), QString(" (  5;  7): (  5,  7, 12) "));
    QVERIFY(form_->MouseStatePanel->font().fixedPitch());
    Doc().SetSelection(10, 20, 30, 40);
    auto shown = [this](int x, int y) {
      return form_->SelPaintBox->grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(x, y);
    };
    auto original = [](int x, int y) { return qRgb((x + y) & 255, y & 255, x & 255); };
    // Pixel, and whether the frame inverts it.
    const std::tuple<int, int, bool> pixels[] = {{9, 19, true}, {31, 41, true},  {20, 19, true},
                                                 {9, 30, true}, {10, 20, false}, {32, 42, false}};
    for (const auto& [x, y, framed] : pixels) {
      QCOMPARE(shown(x, y), original(x, y) ^ (framed ? 0x00FFFFFFu : 0));
    }
    form_->SelBoundsAction->trigger();  // untick "Границы выделения"
    QCOMPARE(shown(9, 19), original(9, 19));
  }
  // Opening and closing ask about a modified document; a save that fails keeps it open.
  void aModifiedDocumentIsAskedAboutFirst() {
    OpenGradient(20, 10);
    form_->RevertAction->trigger();  // a clean document becomes modified
    form_->SaveAnswers = {TSaveAnswer::Cancel, TSaveAnswer::Cancel};
    form_->OpenAction->trigger();
    QVERIFY(form_->Visits.isEmpty());
    QVERIFY(!form_->close());
    Doc().FileName = FileNameOf(dir_.filePath("missing-folder/picture.bmp"));
    form_->SaveAnswers = {TSaveAnswer::Yes};
    QVERIFY(!form_->close());
    QCOMPARE(form_->Errors.size(), 1);
    QVERIFY(form_->isVisible() && Doc().Modified);
    QCOMPARE(form_->SaveQuestions, 3);
  }

  // A picture that cannot be read is reported and the document stays.
  void openingAFileThatCannotBeReadKeepsTheDocument() {
    const QString path = OpenGradient(20, 10);
    const QString damaged = WriteTextFile(dir_, "damaged.bmp", "BM not a picture");
    form_->FileAnswers = {QStringList{dir_.filePath("missing.bmp")}, QStringList{damaged}};
    QTest::keyClick(form_.get(), Qt::Key_F3);
    QTest::keyClick(form_.get(), Qt::Key_F3);
    QCOMPARE(form_->Errors.size(), 2);
    QCOMPARE(QString::fromStdString(Doc().FileName), path);
    QVERIFY(Doc().Picture().SamePixels(GradientBitmap(20, 10)));
    QTest::keyClick(form_.get(), Qt::Key_F4);  // asks for a name even for a clean document
    QCOMPARE(form_->Visits.last().Title, QString("Сохранить изображение..."));
  }

  // Every error ends in the error box with its own message; only the batch runner names
  // nothing but the project's own errors.
  void filterErrorsAreReported() {
    const QString picture = OpenGradient(20, 10);
    for (const char* name : {"Project", "Standard", "Alien"}) {
      Doc().SelectFilter(Doc().AddFilter(std::make_unique<TThrowingFilter>(name)));
      QTest::mouseClick(form_->ApplyButton, Qt::LeftButton);
    }
    const QString script = WriteTextFile(dir_, "standard.ivs", "Standard(YYY)");
    form_->FileAnswers = {QStringList{script}, QStringList{picture}};
    form_->RunScriptAction->trigger();
    const QString unknown = "Неизвестная внутренняя ошибка";
    QCOMPARE(form_->Errors, (QStringList{"Фильтр отказался", "vector too long", unknown,
                                         picture + ": " + unknown + " (обработано 0 из 1)"}));
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TMainWindowTest)
#include "MainWindowTest.moc"
