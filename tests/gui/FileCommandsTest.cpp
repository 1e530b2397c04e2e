// The file commands beyond open and save: running a script over files, restoring an alpha
// channel, saving the view; and the About box.

#include <QTimer>

#include "GuiTestSupport.h"
#include "app/AboutBox.h"
#include "core/MarkupData.h"
#include "core/Version.h"

namespace imvora {
namespace {

TBitmap Inverted(const TBitmap& bitmap) {
  TBitmap result = bitmap;
  for (int y = 0; y < result.Height(); ++y) {
    std::uint8_t* p = result.ScanLine(y);
    for (int i = 0; i < 3 * result.Width(); ++i) p[i] = static_cast<std::uint8_t>(255 - p[i]);
  }
  return result;
}

TBitmap Load(const QString& path) {
  return LoadImageFile(FileNameOf(path));
}

QString WriteText(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
  QFile file(dir.filePath(name));
  if (!file.open(QIODevice::WriteOnly)) return QString();
  file.write(text);
  return file.fileName();
}

class TTestAboutBox : public TAboutBox {
 public:
  int ContactOpened = 0;

 protected:
  void OpenContact() override { ++ContactOpened; }
};

}  // namespace

class TFileCommandsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<TTestForm> form_;

  QString Picture(const QString& name, int width = 12, int height = 9) {
    return WriteBitmapFile(*dir_, name, GradientBitmap(width, height));
  }
  bool SingleSelection() { return form_->ImageOpenDialog->fileMode() == QFileDialog::ExistingFile; }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    form_ = std::make_unique<TTestForm>();
  }
  void cleanup() {
    form_.reset();
    dir_.reset();
  }

  void aScriptRunsOverEveryChosenFile() {
    const QString script = WriteText(*dir_, "negate.ivs", "Invert(YYY)\r\nInvert(NNY)\n");
    const QString first = Picture("first.bmp", 12, 9);
    const QString second = Picture("second.bmp", 7, 5);
    form_->FileAnswers = {QStringList{script}, QStringList{first, second}};
    form_->RunScriptAction->trigger();
    QVERIFY(form_->Errors.isEmpty());
    QCOMPARE(form_->Visits.size(), 2);
    QCOMPARE(form_->Visits[0].Title, QString("Выберите скрипт для выполнения"));
    QCOMPARE(form_->Visits[0].NameFilters,
             (QStringList{"Imvora-скрипт (*.ivs)", "Текстовые файлы (*.txt)", "Все файлы (*)"}));
    QCOMPARE(form_->Visits[1].Title, QString("Выберите изображение"));
    QCOMPARE(form_->Visits[1].Mode, QFileDialog::ExistingFiles);
    QVERIFY(SingleSelection());
    // Everything inverted, then channel 3 (blue) back again.
    for (const auto& [path, width, height] : {std::tuple{first, 12, 9}, std::tuple{second, 7, 5}}) {
      TBitmap expected = Inverted(GradientBitmap(width, height));
      for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) expected.ScanLine(y)[3 * x] ^= 255;
      }
      QVERIFY(Load(path).SamePixels(expected));
    }
    QCOMPARE(QString::fromStdString(form_->Document().FileName), second);
    QVERIFY(!form_->Document().Modified);
  }

  void aBatchErrorIsShownAndFinishedFilesStayWritten() {
    const QString script = WriteText(*dir_, "negate.ivs", "Invert(YYY)\n");
    const QString good = Picture("good.bmp");
    const QString damaged = WriteText(*dir_, "damaged.bmp", "BM?");
    const QString untouched = Picture("untouched.bmp");
    form_->FileAnswers = {QStringList{script}, QStringList{good, damaged, untouched}};
    form_->RunScriptAction->trigger();
    QCOMPARE(form_->Errors.size(), 1);
    QVERIFY(form_->Errors[0].startsWith(damaged + ": "));
    QVERIFY(form_->Errors[0].endsWith("(обработано 1 из 3)"));
    QVERIFY(Load(good).SamePixels(Inverted(GradientBitmap(12, 9))));
    QVERIFY(Load(untouched).SamePixels(GradientBitmap(12, 9)));
    QVERIFY(SingleSelection());
    // A later "Открыть..." offers a single file again.
    form_->OpenAction->trigger();
    QCOMPARE(form_->Visits.last().Mode, QFileDialog::ExistingFile);
  }

  void everyWayOutRestoresSingleSelection() {
    const QString script = WriteText(*dir_, "negate.ivs", "Invert(YYY)\n");
    form_->FileAnswers = {std::nullopt};  // script dialog cancelled
    form_->RunScriptAction->trigger();
    QVERIFY(SingleSelection());
    form_->FileAnswers = {QStringList{script}, std::nullopt};  // image dialog cancelled
    form_->RunScriptAction->trigger();
    QVERIFY(SingleSelection());
    QCOMPARE(form_->Visits.size(), 3);
    // "Cancel" when asked to save a modified document: no image dialog.
    form_->OpenFile(Picture("open.bmp"));
    form_->RevertAction->trigger();
    form_->FileAnswers = {QStringList{script}};
    form_->SaveAnswers = {TSaveAnswer::Cancel};
    form_->RunScriptAction->trigger();
    QCOMPARE(form_->Visits.size(), 4);
    QVERIFY(SingleSelection());
    // A script that cannot be read.
    form_->FileAnswers = {QStringList{dir_->filePath("missing.ivs")},
                          QStringList{Picture("a.bmp")}};
    form_->SaveAnswers = {TSaveAnswer::No};
    form_->RunScriptAction->trigger();
    QCOMPARE(form_->Errors.size(), 1);
    QVERIFY(SingleSelection());
  }

  void eachJpegFileAsksForItsOptions() {
    const QString script = WriteText(*dir_, "negate.ivs", "Invert(YYY)\n");
    const QString first = dir_->filePath("first.jpg");
    const QString second = dir_->filePath("second.jpg");
    const TBitmap picture = GradientBitmap(16, 16);
    WriteImageFile(FileNameOf(first), picture, TJpegOptions());
    WriteImageFile(FileNameOf(second), picture, TJpegOptions());
    const TBitmap before = Load(first);
    form_->FileAnswers = {QStringList{script}, QStringList{first, second}};
    form_->JpegAnswers = {false, true};
    form_->RunScriptAction->trigger();
    QCOMPARE(form_->JpegQuestions, 2);
    QVERIFY(form_->Errors.isEmpty());
    QVERIFY(Load(first).SamePixels(before));
    QVERIFY(!Load(second).SamePixels(before));
  }

  void alphaRestorationAsksThreeNamesAndRestoresTheDialogs() {
    const QString first = Picture("first.bmp");
    TBitmap white = GradientBitmap(12, 9);
    for (int y = 0; y < 9; ++y) std::fill_n(white.ScanLine(y), 3 * 12, 255);
    const QString second = WriteBitmapFile(*dir_, "second.bmp", white);
    const QString result = dir_->filePath("result.bmp");
    form_->FileAnswers = {QStringList{first}, QStringList{second}, QStringList{result}};
    form_->AlphaRestoreAction->trigger();
    QVERIFY(form_->Errors.isEmpty());
    QCOMPARE(form_->Visits.size(), 3);
    QCOMPARE(form_->Visits[0].Title, QString("Выберите первое изображение"));
    QCOMPARE(form_->Visits[1].Title, QString("Выберите второе изображение"));
    QCOMPARE(form_->Visits[2].Title, QString("Выберите результирующий файл"));
    QCOMPARE(form_->Visits[2].NameFilters,
             (QStringList{"32-битный рисунок BMP (*.bmp)", "Все файлы (*)"}));
    QFile written(result);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(static_cast<int>(written.readAll().at(28)), 32);  // bits per pixel
    QVERIFY(form_->Document().CurrentImage.Empty());           // the document is not touched
    QCOMPARE(form_->ImageOpenDialog->windowTitle(), QString("Выберите изображение"));
    QCOMPARE(form_->ImageSaveDialog->windowTitle(), QString("Сохранить изображение..."));
    QCOMPARE(form_->ImageSaveDialog->nameFilters().size(), 3);
    QCOMPARE(form_->ImageSaveDialog->selectedNameFilter(),
             form_->ImageSaveDialog->nameFilters().at(1));
    QCOMPARE(form_->ImageSaveDialog->defaultSuffix(), QString("bmp"));
  }

  void cancellingAlphaRestorationRestoresTheDialogs() {
    form_->FileAnswers = {std::nullopt};
    form_->AlphaRestoreAction->trigger();
    QCOMPARE(form_->Visits.size(), 1);
    form_->FileAnswers = {QStringList{Picture("a.bmp")}, QStringList{Picture("b.bmp")},
                          std::nullopt};
    form_->AlphaRestoreAction->trigger();
    QCOMPARE(form_->Visits.size(), 4);
    QCOMPARE(form_->ImageOpenDialog->windowTitle(), QString("Выберите изображение"));
    QCOMPARE(form_->ImageSaveDialog->windowTitle(), QString("Сохранить изображение..."));
    QCOMPARE(form_->ImageSaveDialog->nameFilters().size(), 3);
    // A missing input is reported.
    form_->FileAnswers = {QStringList{dir_->filePath("missing.bmp")}, QStringList{Picture("b.bmp")},
                          QStringList{dir_->filePath("out.bmp")}};
    form_->AlphaRestoreAction->trigger();
    QCOMPARE(form_->Errors.size(), 1);
    QCOMPARE(form_->ImageOpenDialog->windowTitle(), QString("Выберите изображение"));
  }

  void savingTheMarkupViewThenSavingWritesTheImageUnderThatName() {
    TDocument& doc = form_->Document();
    form_->OpenFile(Picture("picture.bmp", 8, 6));
    doc.RunFilterCall("Invert(YYY)");
    const TBitmap source = doc.SourceImage;
    auto markup = std::make_unique<TMarkupData>(8, 6);
    markup->RegionCount = 2;
    std::fill(markup->Labels.begin() + 24, markup->Labels.end(), 1);
    doc.SetMarkup(std::move(markup));
    form_->ShowMarkupAction->trigger();
    const QString view = dir_->filePath("view.bmp");
    form_->FileAnswers = {QStringList{view}};
    form_->SaveViewAction->trigger();
    QVERIFY(form_->Errors.isEmpty());
    QVERIFY(Load(view).SamePixels(doc.Picture()));
    QCOMPARE(Load(view).ScanLine(5)[0], std::uint8_t(255));  // label 1 shows white
    QCOMPARE(QString::fromStdString(doc.FileName), view);
    QVERIFY(doc.Modified);
    QVERIFY(doc.SourceImage.SamePixels(source));

    form_->SaveAction->trigger();
    QVERIFY(Load(view).SamePixels(doc.CurrentImage));
    QVERIFY(!doc.Modified);
  }

  void theAboutBoxShowsModallyAndLinksTheContact() {
    TTestAboutBox box;
    form_->SetAboutBox(&box);
    QCOMPARE(box.windowTitle(), QString("О программе"));
    QCOMPARE(box.size(), QSize(441, 248));
    QStringList texts;
    for (const QLabel* label : box.findChildren<QLabel*>()) texts << label->text();
    QVERIFY(texts.contains("Imvora"));
    QVERIFY(texts.contains(QString("версия ") + kImvoraVersion));
    QVERIFY(texts.contains("изображений."));
    auto* close = box.findChild<QPushButton*>("CloseButton");
    QCOMPARE(close->text(), QString("Закрыть окно"));

    bool shownModally = false;
    QTimer::singleShot(0, [&] {
      shownModally = QApplication::activeModalWidget() == &box;
      QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
      QApplication::sendEvent(box.ContactLabel, &enter);
      QVERIFY(box.ContactLabel->font().underline());
      QEvent leave(QEvent::Leave);
      QApplication::sendEvent(box.ContactLabel, &leave);
      QVERIFY(!box.ContactLabel->font().underline());
      QVERIFY(box.ContactLabel->font().bold());
      QCOMPARE(box.ContactLabel->cursor().shape(), Qt::PointingHandCursor);
      QTest::mouseClick(box.ContactLabel, Qt::LeftButton);
      QTest::mouseClick(close, Qt::LeftButton);
    });
    form_->AboutAction->trigger();
    QVERIFY(shownModally);
    QCOMPARE(box.ContactOpened, 1);
    QVERIFY(!box.isVisible());
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TFileCommandsTest)
#include "FileCommandsTest.moc"
