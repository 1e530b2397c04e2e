// The JPEG options dialog: the slider and the edit follow each other without echoes, and the
// main window reads the dialog before every JPEG write.

#include <QSlider>
#include <QTimer>

#include "GuiTestSupport.h"
#include "app/JpegOptionsDialog.h"

namespace imvora {
namespace {

class TTestJProp : public TJProp {
 public:
  QStringList Errors;

 protected:
  void ShowConversionError(const QString& message) override { Errors.append(message); }
};

// Closes the next modal dialog after setting it up, once the event loop runs.
void AnswerNextDialog(const std::function<void(TJProp&)>& answer) {
  QTimer::singleShot(0, [answer] {
    auto* dialog = qobject_cast<TJProp*>(QApplication::activeModalWidget());
    QVERIFY(dialog != nullptr);
    answer(*dialog);
  });
}

}  // namespace

class TJpegDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<TTestJProp> dialog_;

 private slots:
  void init() { dialog_ = std::make_unique<TTestJProp>(); }
  void cleanup() { dialog_.reset(); }

  void theDialogStartsAtQuality85() {
    QCOMPARE(dialog_->windowTitle(), QString("Параметры сжатия JPEG"));
    QCOMPARE(dialog_->size(), QSize(409, 145));
    QCOMPARE(dialog_->Edit1->text(), QString("85"));
    QCOMPARE(dialog_->Edit1->width(), 33);
    QCOMPARE(dialog_->TrackBar1->value(), 85);
    QCOMPARE(dialog_->TrackBar1->minimum(), 0);
    QCOMPARE(dialog_->TrackBar1->maximum(), 100);
    QCOMPARE(dialog_->TrackBar1->tickPosition(), QSlider::TicksBelow);
    QVERIFY(!dialog_->CheckBox1->isChecked());
    QCOMPARE(dialog_->CheckBox1->text(), QString("постепенная развёртка"));
  }

  void theSliderWritesTheEdit() {
    dialog_->TrackBar1->setValue(40);
    QCOMPARE(dialog_->Edit1->text(), QString("40"));
    QTest::keyClick(dialog_->TrackBar1, Qt::Key_Right);
    QCOMPARE(dialog_->Edit1->text(), QString("41"));
  }

  void theEditMovesTheSlider() {
    RetypeText(dialog_->Edit1, "60");
    QCOMPARE(dialog_->TrackBar1->value(), 60);
    QCOMPARE(dialog_->Edit1->text(), QString("60"));
    // The slider limits itself; the edit keeps what was typed.
    RetypeText(dialog_->Edit1, "150");
    QCOMPARE(dialog_->TrackBar1->value(), 100);
    QCOMPARE(dialog_->Edit1->text(), QString("150"));
    QVERIFY(dialog_->Errors.isEmpty());
  }

  void aTextThatIsNoIntegerIsReportedAndChangesNothing() {
    RetypeText(dialog_->Edit1, "x");
    QCOMPARE(dialog_->Errors, QStringList{"«x» не является целым числом"});
    QCOMPARE(dialog_->TrackBar1->value(), 85);
    // The next slider move still reaches the edit.
    QTest::keyClick(dialog_->TrackBar1, Qt::Key_Left);
    QCOMPARE(dialog_->Edit1->text(), QString("84"));
  }

  void anEditThatLeavesTheSliderInPlaceDoesNotSwallowTheNextMove() {
    RetypeText(dialog_->Edit1, "100");
    RetypeText(dialog_->Edit1, "1000");  // the slider stays at 100: no echo comes back
    QCOMPARE(dialog_->TrackBar1->value(), 100);
    QTest::keyClick(dialog_->TrackBar1, Qt::Key_Left);
    QCOMPARE(dialog_->Edit1->text(), QString("99"));
  }

  void theMainWindowReadsTheDialog() {
    TTestForm form;
    form.SetJpegDialog(dialog_.get());
    AnswerNextDialog([](TJProp& dialog) {
      dialog.Edit1->setText("70");
      dialog.CheckBox1->setChecked(true);
      dialog.accept();
    });
    TJpegDialogResult result;
    QVERIFY(form.AskJpegOptions(result));
    QCOMPARE(result.QualityText, std::string("70"));
    QVERIFY(result.Progressive);
    AnswerNextDialog([](TJProp& dialog) {
      auto* cancel = dialog.findChild<QPushButton*>("CancelButton");
      cancel->setFocus();
      QTest::keyClick(cancel, Qt::Key_Return);
    });
    QVERIFY(!form.AskJpegOptions(result));
    // The values persist for the next use, which opens on the quality with "ОК" as the default.
    QCOMPARE(dialog_->TrackBar1->value(), 70);
    // Window systems may give the focus back to the button that closed the dialog.
    dialog_->findChild<QPushButton*>("CancelButton")->setFocus();
    QWidget* focus = nullptr;
    AnswerNextDialog([&focus](TJProp& dialog) {
      focus = dialog.focusWidget();
      QTest::keyClick(focus ? focus : &dialog, Qt::Key_Return);
    });
    QVERIFY(form.AskJpegOptions(result));
    QCOMPARE(focus, dialog_->Edit1);
  }

  void savingAsJpegWritesOnlyAfterOk() {
    QTemporaryDir dir;
    TTestForm form;
    form.SetJpegDialog(dialog_.get());
    form.OpenFile(WriteBitmapFile(dir, "picture.bmp", GradientBitmap(16, 8)));
    const QString jpeg = dir.filePath("picture.jpg");
    form.FileAnswers = {QStringList{jpeg}, QStringList{jpeg}};
    AnswerNextDialog([](TJProp& dialog) { dialog.reject(); });
    form.SaveAsAction->trigger();
    QVERIFY(!QFileInfo::exists(jpeg));
    AnswerNextDialog([](TJProp& dialog) { dialog.accept(); });
    form.SaveAsAction->trigger();
    QVERIFY(QFileInfo::exists(jpeg));
    QCOMPARE(LoadImageFile(FileNameOf(jpeg)).Width(), 16);
    // A quality that is no integer is reported and nothing is written.
    QFile::remove(jpeg);
    form.FileAnswers = {QStringList{jpeg}};
    AnswerNextDialog([](TJProp& dialog) {
      dialog.Edit1->setText("x");
      dialog.accept();
    });
    form.SaveAsAction->trigger();
    QCOMPARE(form.Errors, QStringList{"«x» не является целым числом"});
    QVERIFY(!QFileInfo::exists(jpeg));
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TJpegDialogTest)
#include "JpegDialogTest.moc"
