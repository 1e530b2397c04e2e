// The selection of the main window: typed bounds, mouse drags, the status line and the frame.

#include "GuiTestSupport.h"
#include "app/SelectionView.h"

namespace imvora {

class TSelectionTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TTestForm> form_;

  TDocument& Doc() { return form_->Document(); }
  QList<int> Bounds() { return {Doc().SelLeft, Doc().SelTop, Doc().SelRight, Doc().SelBottom}; }
  QStringList EditTexts() {
    return {form_->SelLEdit->text(), form_->SelTEdit->text(), form_->SelREdit->text(),
            form_->SelBEdit->text()};
  }

 private slots:
  void init() {
    form_ = std::make_unique<TTestForm>();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->OpenFile(WriteBitmapFile(dir_, "picture.bmp", GradientBitmap(640, 480)));
    QVERIFY(form_->Errors.isEmpty());
  }
  void cleanup() { form_.reset(); }

  void openingSelectsTheWholePicture() {
    QCOMPARE(Bounds(), (QList<int>{0, 0, 639, 479}));
    QCOMPARE(EditTexts(), (QStringList{"0", "0", "639", "479"}));
    QCOMPARE(form_->SelPaintBox->size(), QSize(640, 480));
  }

  void aTypedLetterChangesNothing() {
    form_->SelLEdit->setFocus();
    form_->SelLEdit->end(false);
    TypeText(form_->SelLEdit, "x");
    QCOMPARE(form_->SelLEdit->text(), QString("0x"));
    QCOMPARE(Bounds(), (QList<int>{0, 0, 639, 479}));
    QVERIFY(form_->Errors.isEmpty());
  }

  void aBoundBeyondThePictureIsRewritten() {
    RetypeText(form_->SelREdit, "900");
    QCOMPARE(form_->SelREdit->text(), QString("639"));
    QCOMPARE(Doc().SelRight, 639);
    // L = 700 is clamped to 639, equal to R: nothing is exchanged.
    RetypeText(form_->SelLEdit, "700");
    QCOMPARE(form_->SelLEdit->text(), QString("639"));
    QCOMPARE(Bounds(), (QList<int>{639, 0, 639, 479}));
    QVERIFY(form_->SelLEdit->hasFocus());
  }

  void aLeftBeyondTheRightSwapsAndFocusesTheRightEdit() {
    RetypeText(form_->SelREdit, "100");
    RetypeText(form_->SelLEdit, "300");
    QCOMPARE(Bounds(), (QList<int>{100, 0, 300, 479}));
    QCOMPARE(EditTexts(), (QStringList{"100", "0", "300", "479"}));
    QVERIFY(form_->SelREdit->hasFocus());
    QCOMPARE(form_->SelREdit->cursorPosition(), 0);
  }

  void aBottomAboveTheTopSwapsAndFocusesTheTopEdit() {
    RetypeText(form_->SelTEdit, "50");
    RetypeText(form_->SelBEdit, "7");
    QCOMPARE(Bounds(), (QList<int>{0, 7, 639, 50}));
    QVERIFY(form_->SelTEdit->hasFocus());
  }

  void aMouseDragSelectsAndFillsTheEdits() {
    QWidget* view = form_->SelPaintBox;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(60, 20));
    QVERIFY(Doc().Dragging());
    QTest::mouseMove(view, QPoint(10, 45));
    QCOMPARE(EditTexts(), (QStringList{"60", "20", "10", "45"}));
    // Typing is ignored while a drag runs: the drag owns the edits.
    RetypeText(form_->SelTEdit, "3");
    QCOMPARE(Doc().SelTop, 20);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(10, 45));
    QVERIFY(!Doc().Dragging());
    QCOMPARE(Bounds(), (QList<int>{10, 20, 60, 45}));
    QCOMPARE(EditTexts(), (QStringList{"10", "20", "60", "45"}));
  }

  void theStatusLineShowsThePixelUnderTheMouse() {
    QTest::mouseMove(form_->SelPaintBox, QPoint(5, 7));
    // Blue 5, green 7, red 12 in the gradient.
    QCOMPARE(form_->MouseStatePanel->text(), QString(" (  5;  7): (  5,  7, 12) "));
    QCOMPARE(form_->MouseStatePanel->font().fixedPitch(), true);
  }

  void theFrameInvertsThePixelsAroundTheSelection() {
    Doc().SetSelection(10, 20, 30, 40);
    const QImage picture =
        form_->SelPaintBox->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto original = [](int x, int y) { return qRgb((x + y) & 255, y & 255, x & 255); };
    auto inverted = [&](int x, int y) { return original(x, y) ^ 0x00FFFFFFu; };
    QCOMPARE(picture.pixel(9, 19), inverted(9, 19));
    QCOMPARE(picture.pixel(31, 41), inverted(31, 41));
    QCOMPARE(picture.pixel(20, 19), inverted(20, 19));
    QCOMPARE(picture.pixel(9, 30), inverted(9, 30));
    QCOMPARE(picture.pixel(10, 20), original(10, 20));  // selected pixels stay as they are
    QCOMPARE(picture.pixel(32, 42), original(32, 42));
    form_->SelBoundsAction->trigger();  // untick "Границы выделения"
    const QImage plain = form_->SelPaintBox->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(plain.pixel(9, 19), original(9, 19));
  }

  void theWholeButtonSelectsEverything() {
    Doc().SetSelection(1, 2, 3, 4);
    QTest::mouseClick(form_->SelectAllButton, Qt::LeftButton);
    QCOMPARE(Bounds(), (QList<int>{0, 0, 639, 479}));
    QCOMPARE(EditTexts(), (QStringList{"0", "0", "639", "479"}));
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TSelectionTest)
#include "SelectionTest.moc"
