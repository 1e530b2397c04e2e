// The file commands beyond open and save: running a script over files, restoring an alpha
// channel, saving the view; and the About box.

#include "GuiTestSupport.h"
#include "app/AboutBox.h"

namespace imvora {
namespace {

// The gradient with the channels of the mask (bit 0 blue, 1 green, 2 red) inverted.
TBitmap InvertedGradient(int width, int height, int mask = 7) {
  TBitmap result = GradientBitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < 3 * width; ++i) {
      if (mask & (1 << i % 3)) result.ScanLine(y)[i] ^= 255;
    }
  }
  return result;
}

TBitmap Load(const QString& path) {
  return LoadImageFile(FileNameOf(path));
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
  QString script_;

  QString Picture(const QString& name, int width = 12, int height = 9) {
    return WriteBitmapFile(*dir_, name, GradientBitmap(width, height));
  }
  // A batch's multiple choice never outlives it; the alpha restoration's dialogs neither.
  void VerifyDialogsRestored() {
    QCOMPARE(form_->ImageOpenDialog->fileMode(), QFileDialog::ExistingFile);
    QCOMPARE(form_->ImageOpenDialog->windowTitle(), QString("Выберите изображение"));
    QFileDialog* save = form_->ImageSaveDialog;
    QCOMPARE(save->windowTitle(), QString("Сохранить изображение..."));
    QCOMPARE(save->nameFilters().size(), 3);
    QCOMPARE(save->selectedNameFilter(), save->nameFilters().at(1));
    QCOMPARE(save->defaultSuffix(), QString("bmp"));
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    form_ = std::make_unique<TTestForm>();
    script_ = WriteTextFile(*dir_, "negate.ivs", "Invert(YYY)\r\nInvert(NNY)\n");
  }
  void cleanup() {
    form_.reset();
    dir_.reset();
  }

  // Each JPEG file asks for its options: the first is cancelled and stays as it was.
  void aScriptRunsOverEveryChosenFile() {
    const QString first = Picture("first.bmp");
    QStringList jpegs{dir_->filePath("a.jpg"), dir_->filePath("b.jpg")};
    for (const QString& jpeg : jpegs) WriteImageFile(FileNameOf(jpeg), GradientBitmap(8, 8), {});
    const TBitmap jpegBefore = Load(jpegs[0]);
    form_->FileAnswers = {QStringList{script_}, QStringList{first} + jpegs};
    form_->JpegAnswers = {false, true};
    form_->RunScriptAction->trigger();
    QVERIFY(form_->Errors.isEmpty());
    QCOMPARE(form_->Visits.size(), 2);
    QCOMPARE(form_->Visits[0].Title, QString("Выберите скрипт для выполнения"));
    QCOMPARE(form_->Visits[0].NameFilters,
             (QStringList{"Imvora-скрипт (*.ivs)", "Текстовые файлы (*.txt)", "Все файлы (*)"}));
    QCOMPARE(form_->Visits[1].Mode, QFileDialog::ExistingFiles);
    VerifyDialogsRestored();
    // Everything inverted, then channel 3 (blue) back again.
    QVERIFY(Load(first).SamePixels(InvertedGradient(12, 9, 6)));
    QCOMPARE(form_->JpegQuestions, 2);
    QVERIFY(Load(jpegs[0]).SamePixels(jpegBefore));
    QVERIFY(!Load(jpegs[1]).SamePixels(jpegBefore));
    QCOMPARE(QString::fromStdString(form_->Document().FileName), jpegs[1]);
    QVERIFY(!form_->Document().Modified);
  }

  void everyWayOutOfABatchRestoresTheDialogs() {
    form_->FileAnswers = {std::nullopt};  // script dialog cancelled
    form_->RunScriptAction->trigger();
    VerifyDialogsRestored();
    form_->FileAnswers = {QStringList{script_}, std::nullopt};  // image dialog cancelled
    form_->RunScriptAction->trigger();
    VerifyDialogsRestored();
    QCOMPARE(form_->Visits.size(), 3);
    // "Cancel" when asked to save a modified document: no image dialog.
    form_->OpenFile(Picture("open.bmp"));
    form_->RevertAction->trigger();
    form_->FileAnswers = {QStringList{script_}};
    form_->SaveAnswers = {TSaveAnswer::Cancel};
    form_->RunScriptAction->trigger();
    QCOMPARE(form_->Visits.size(), 4);
    VerifyDialogsRestored();
    // A script that cannot be read.
    form_->FileAnswers = {QStringList{dir_->filePath("missing.ivs")},
                          QStringList{Picture("a.bmp")}};
    form_->SaveAnswers = {TSaveAnswer::No};
    form_->RunScriptAction->trigger();
    QCOMPARE(form_->Errors.size(), 1);
    VerifyDialogsRestored();
  }

  void alphaRestorationAsksThreeNamesAndRestoresTheDialogs() {
    const QString first = Picture("first.bmp");
    const QString second = WriteBitmapFile(*dir_, "second.bmp", InvertedGradient(12, 9));
    const QString result = dir_->filePath("result.bmp");
    form_->FileAnswers = {QStringList{first}, QStringList{second}, QStringList{result}};
    form_->AlphaRestoreAction->trigger();
    QVERIFY(form_->Errors.isEmpty());
    QCOMPARE(form_->Visits.size(), 3);
    QCOMPARE(form_->Visits[2].Title, QString("Выберите результирующий файл"));
    QCOMPARE(form_->Visits[2].NameFilters,
             (QStringList{"32-битный рисунок BMP (*.bmp)", "Все файлы (*)"}));
    QVERIFY(QFileInfo::exists(result));
    QVERIFY(form_->Document().CurrentImage.Empty());  // the document is not touched
    VerifyDialogsRestored();
    // Cancelled at the first or the last name, or a missing input (reported).
    const QString missing = dir_->filePath("missing.bmp"), out = dir_->filePath("out.bmp");
    form_->FileAnswers = {std::nullopt,    QStringList{first},   QStringList{second},
                          std::nullopt,    QStringList{missing}, QStringList{second},
                          QStringList{out}};
    for (int run = 0; run < 3; ++run) {
      form_->AlphaRestoreAction->trigger();
      VerifyDialogsRestored();
    }
    QCOMPARE(form_->Visits.size(), 10);
    QCOMPARE(form_->Errors.size(), 1);
    QVERIFY(!QFileInfo::exists(out));
  }

  void savingTheViewThenSavingWritesTheImageUnderThatName() {
    TDocument& doc = form_->Document();
    form_->OpenFile(Picture("picture.bmp", 8, 6));
    doc.RunFilterCall("Invert(YYY)");
    form_->ShowSourceAction->trigger();
    const QString view = dir_->filePath("view.bmp");
    form_->FileAnswers = {QStringList{view}};
    form_->SaveViewAction->trigger();
    QVERIFY(form_->Errors.isEmpty());
    QVERIFY(Load(view).SamePixels(GradientBitmap(8, 6)));
    QCOMPARE(QString::fromStdString(doc.FileName), view);
    QVERIFY(doc.Modified);
    QVERIFY(doc.SourceImage.SamePixels(GradientBitmap(8, 6)));
    form_->SaveAction->trigger();
    QVERIFY(Load(view).SamePixels(InvertedGradient(8, 6)));
    QVERIFY(!doc.Modified);
  }

  void theAboutBoxShowsModallyAndLinksTheContact() {
    TTestAboutBox box;
    form_->SetAboutBox(&box);
    bool shownModally = false;
    QTimer::singleShot(0, [&] {
      shownModally = QApplication::activeModalWidget() == &box;
      QTest::mouseClick(box.ContactLabel, Qt::LeftButton);
      QTest::mouseClick(box.findChild<QPushButton*>("CloseButton"), Qt::LeftButton);
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
