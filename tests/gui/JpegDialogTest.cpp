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

 private slots:
  void theSliderAndTheEditFollowEachOther() {
    TTestJProp dialog;
    QCOMPARE(dialog.Edit1->text(), QString("85"));
    QCOMPARE(dialog.TrackBar1->value(), 85);
    QVERIFY(!dialog.CheckBox1->isChecked());
    // A text that is no integer is reported and changes nothing; the next move still writes.
    RetypeText(dialog.Edit1, "x");
    QCOMPARE(dialog.Errors, QStringList{"«x» не является целым числом"});
    QCOMPARE(dialog.TrackBar1->value(), 85);
    QTest::keyClick(dialog.TrackBar1, Qt::Key_Left);
    QCOMPARE(dialog.Edit1->text(), QString("84"));
    RetypeText(dialog.Edit1, "60");
    QCOMPARE(dialog.TrackBar1->value(), 60);
    QCOMPARE(dialog.Edit1->text(), QString("60"));
    // The slider limits itself and the edit keeps what was typed; an edit that leaves the
    // slider in place gets no echo and does not swallow the next move.
    RetypeText(dialog.Edit1, "150");
    QCOMPARE(dialog.Edit1->text(), QString("150"));
    RetypeText(dialog.Edit1, "1000");
    QCOMPARE(dialog.TrackBar1->value(), 100);
    QCOMPARE(dialog.Edit1->text(), QString("1000"));
    QTest::keyClick(dialog.TrackBar1, Qt::Key_Left);
    QCOMPARE(dialog.Edit1->text(), QString("99"));
    QCOMPARE(dialog.Errors.size(), 1);
  }

  void savingAsJpegWritesWhatTheDialogSaysOnlyAfterOk() {
    QTemporaryDir dir;
    TTestJProp dialog;
    TTestForm form;
    form.SetJpegDialog(&dialog);
    form.OpenFile(WriteBitmapFile(dir, "picture.bmp", GradientBitmap(16, 8)));
    const QString jpeg = dir.filePath("picture.jpg");
    const auto written = [&jpeg] { return ReadWholeFile(FileNameOf(jpeg)); };
    form.FileAnswers = {QStringList{jpeg}, QStringList{jpeg}, QStringList{jpeg}, QStringList{jpeg}};
    AnswerNextDialog([](TJProp& d) {
      d.Edit1->setText("70");
      d.CheckBox1->setChecked(true);
      auto* cancel = d.findChild<QPushButton*>("CancelButton");
      cancel->setFocus();
      QTest::keyClick(cancel, Qt::Key_Return);
    });
    form.SaveAsAction->trigger();
    QVERIFY(!QFileInfo::exists(jpeg));
    AnswerNextDialog([](TJProp& d) {
      d.Edit1->setText("70");
      d.CheckBox1->setChecked(true);
      d.accept();
    });
    form.SaveAsAction->trigger();
    const std::vector<std::uint8_t> quality70 = EncodeJpeg(GradientBitmap(16, 8), {70, true});
    QVERIFY(written() == quality70);
    // The values persist; the next use opens on the quality with "ОК" as the default, even
    // when the window system gives the focus back to the button that closed the dialog.
    QFile::remove(jpeg);
    dialog.findChild<QPushButton*>("CancelButton")->setFocus();
    QWidget* focus = nullptr;
    AnswerNextDialog([&focus](TJProp& d) {
      focus = d.focusWidget();
      QTest::keyClick(focus ? focus : &d, Qt::Key_Return);
    });
    form.SaveAsAction->trigger();
    QCOMPARE(focus, dialog.Edit1);
    QVERIFY(written() == quality70);
    // A quality that is no integer is reported and nothing is written.
    QFile::remove(jpeg);
    AnswerNextDialog([](TJProp& d) {
      d.Edit1->setText("x");
      d.accept();
    });
    form.SaveAsAction->trigger();
    QCOMPARE(form.Errors, QStringList{"«x» не является целым числом"});
    QVERIFY(!QFileInfo::exists(jpeg));
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TJpegDialogTest)
#include "JpegDialogTest.moc"
