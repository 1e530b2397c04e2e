// The JPEG options dialog: the slider and the edit follow each other without echoes, and the
// main window reads the dialog before every JPEG write.

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

// Answers the next modal dialog once the event loop runs: types the quality and ticks
// progressive (when a quality is given), then presses Return on the button named or, without
// one, on the widget that has the focus, which it reports.
void AnswerNextDialog(const char* quality, const char* button, QWidget** focus = nullptr) {
  QTimer::singleShot(0, [=] {
    auto* dialog = qobject_cast<TJProp*>(QApplication::activeModalWidget());
    QVERIFY(dialog != nullptr);
    if (quality != nullptr) {
      dialog->Edit1->setText(quality);
      dialog->CheckBox1->setChecked(true);
    }
    QWidget* target = button ? dialog->findChild<QPushButton*>(button) : dialog->focusWidget();
    target->setFocus();
    if (focus != nullptr) *focus = target;
    QTest::keyClick(target, Qt::Key_Return);
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
    // Text typed (none: the slider moved one step left), then the edit and the slider. A text
    // that is no integer is reported and changes nothing; the slider limits itself while the edit
    // keeps what was typed; an edit that leaves the slider in place swallows no later move.
    const std::tuple<const char*, const char*, int> steps[] = {
        {"x", "x", 85},      {nullptr, "84", 84},   {"60", "60", 60},
        {"150", "150", 100}, {"1000", "1000", 100}, {nullptr, "99", 99}};
    for (const auto& [typed, text, position] : steps) {
      typed ? RetypeText(dialog.Edit1, typed) : QTest::keyClick(dialog.TrackBar1, Qt::Key_Left);
      QCOMPARE(dialog.Edit1->text(), QString(text));
      QCOMPARE(dialog.TrackBar1->value(), position);
    }
    QCOMPARE(dialog.Errors, QStringList{"«x» не является целым числом"});
  }

  void savingAsJpegWritesWhatTheDialogSaysOnlyAfterOk() {
    QTemporaryDir dir;
    TTestJProp dialog;
    TTestForm form;
    form.SetJpegDialog(&dialog);
    form.OpenFile(WriteBitmapFile(dir, "picture.bmp", GradientBitmap(16, 8)));
    const QString jpeg = dir.filePath("picture.jpg");
    const auto written = [&jpeg] { return ReadWholeFile(FileNameOf(jpeg)); };
    form.FileAnswers = {QStringList{jpeg}, QStringList{jpeg}, QStringList{jpeg}};
    AnswerNextDialog("70", "CancelButton");
    form.SaveAsAction->trigger();
    QVERIFY(!QFileInfo::exists(jpeg));
    AnswerNextDialog("70", "OkButton");
    form.SaveAsAction->trigger();
    const std::vector<std::uint8_t> quality70 = EncodeJpeg(GradientBitmap(16, 8), {70, true});
    QVERIFY(written() == quality70);
    // The values persist; the next use opens on the quality with "ОК" as the default, even
    // when the window system gives the focus back to the button that closed the dialog.
    QFile::remove(jpeg);
    dialog.findChild<QPushButton*>("CancelButton")->setFocus();
    QWidget* focus = nullptr;
    AnswerNextDialog(nullptr, nullptr, &focus);
    form.SaveAsAction->trigger();
    QCOMPARE(focus, dialog.Edit1);
    QVERIFY(written() == quality70);
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TJpegDialogTest)
#include "JpegDialogTest.moc"
