// The levels curve editor on the property panel: its layout, mouse drawing, buttons and apply.

#include "GuiTestSupport.h"

namespace imvora {

class TLevelsEditorTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TTestForm> form_;

  void SelectFromMenu(const char* item) { form_->findChild<QAction*>(item)->trigger(); }
  // The curve area lies at (8, 8) of the editor, which lies at (8, 0) of the panel: a layout
  // that moved it would find no paint box here.
  QWidget* PaintBox() { return form_->PropPanel->childAt(16 + 100, 8 + 100); }
  template <class T>
  T* Control(const QString& caption) {
    for (T* control : PaintBox()->parentWidget()->findChildren<T*>()) {
      if (control->text() == caption) return control;
    }
    return nullptr;
  }
  // Height of the black bar painted in each of the columns.
  QList<int> Bars(const QList<int>& columns) {
    const QImage image = PaintBox()->grab().toImage();
    QList<int> bars;
    for (int x : columns) {
      int y = 255;
      while (y >= 0 && image.pixel(x, y) == qRgb(0, 0, 0)) --y;
      bars << 255 - y;
    }
    return bars;
  }

 private slots:
  void init() {
    form_ = std::make_unique<TTestForm>();
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
    form_->OpenFile(WriteBitmapFile(dir_, "picture.bmp", GradientBitmap(16, 16)));
    SelectFromMenu("N34");
    QVERIFY(PaintBox() != nullptr);
  }
  void cleanup() { form_.reset(); }

  void aDragDrawsTheCurveAndApplyMapsTheChannels() {
    QCOMPARE(PaintBox()->cursor().shape(), Qt::CrossCursor);
    // The whole editor shows, with a margin of 8 at its right.
    QCOMPARE(form_->RPanel->width() - PaintBox()->parentWidget()->geometry().right() - 1, 8);
    // Level c is a bar from below the box up to row 256 − c, exclusive.
    QCOMPARE(Bars({0, 1, 2, 255}), (QList<int>{0, 0, 1, 254}));

    QTest::mousePress(PaintBox(), Qt::LeftButton, {}, QPoint(10, 200));
    QTest::mouseMove(PaintBox(), QPoint(20, 100));
    QTest::mouseRelease(PaintBox(), Qt::LeftButton, {}, QPoint(20, 100));
    QCOMPARE(Bars({9, 10, 15, 20, 21}), (QList<int>{8, 55, 105, 155, 20}));

    QTest::mouseClick(Control<QCheckBox>("применять к совокупности каналов"), Qt::LeftButton);
    QTest::mouseClick(form_->ApplyButton, Qt::LeftButton);
    const std::uint8_t* p =
        form_->Document().CurrentImage.ScanLine(3) + 3 * 12;  // blue 12, green 3, red 15
    QCOMPARE((QList<int>{p[0], p[1], p[2]}), (QList<int>{76, 3, 106}));
  }

  void powerThenReselectingShowsTheIdentityAndKeepsTheMode() {
    RetypeText(Control<QLineEdit>("1.0"), "0.5");
    QTest::mouseClick(Control<QPushButton>("Возвести в степень"), Qt::LeftButton);
    QCOMPARE(Bars({64, 255}), (QList<int>{126, 254}));
    QTest::mouseClick(Control<QCheckBox>("интерфейсная интерполяция"), Qt::LeftButton);
    SelectFromMenu("N33");
    SelectFromMenu("N34");
    QCOMPARE(Bars({64}), QList<int>{63});
    QVERIFY(!Control<QCheckBox>("интерфейсная интерполяция")->isChecked());
    QVERIFY(Control<QLineEdit>("0.5") != nullptr);
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TLevelsEditorTest)
#include "LevelsEditorTest.moc"
