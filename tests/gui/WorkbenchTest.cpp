// The workbench habits: undo and redo, runs on the worker thread with progress and "Отмена",
// opening by drop and from the recent files, zoom, and the title.

#include "GuiTestSupport.h"
#include "app/BackgroundRun.h"
#include "app/SelectionView.h"

namespace imvora {

class TWorkbenchTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  std::unique_ptr<TTestForm> form_;
  TDocument& Doc() { return form_->Document(); }
  QString picture_;

  void Apply(const char* menuItem) {
    form_->findChild<QAction*>(menuItem)->trigger();
    form_->ApplyButton->click();
  }
  // Clicks "Отмена" once a run's dialog shows, noting that the commands wait meanwhile.
  QTimer cancelPoll_;
  bool cancelled_ = false;
  bool closing_ = false;  // close the window instead of "Отмена"
  void CancelWhenShown() {
    auto* dialog = qobject_cast<QProgressDialog*>(TBackgroundRun::ActiveDialog());
    if (dialog == nullptr || !dialog->isVisible() || cancelled_) return;
    cancelled_ = !form_->ApplyFilterAction->isEnabled() && !form_->RPanel->isEnabled();
    closing_ ? void(form_->close()) : dialog->findChild<QPushButton*>()->click();
  }
  void Drop(const QString& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(file)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form_.get(), &drop);
  }

 private slots:
  void initTestCase() {
    connect(&cancelPoll_, &QTimer::timeout, this, [this] { CancelWhenShown(); });
    cancelPoll_.start(20);
  }
  void init() {
    cancelled_ = closing_ = false;
    form_ = std::make_unique<TTestForm>();
    form_->show();
    picture_ = WriteBitmapFile(dir_, "sample.bmp", GradientBitmap(64, 48));
  }
  void cleanup() { form_.reset(); }

  void undoAndRedoFollowTheHistoryAndNameTheFilter() {
    form_->OpenFile(picture_);
    QCOMPARE(form_->windowTitle(),
             QString("sample.bmp[*] — Обработка и распознавание изображений"));
    QVERIFY(!form_->isWindowModified());
    Apply("N17");
    Apply("N33");
    QVERIFY(form_->isWindowModified());
    QCOMPARE(form_->UndoAction->text(), QString("Отменить: Негатив"));
    form_->UndoAction->trigger();
    QCOMPARE(form_->UndoAction->text(), QString("Отменить: Размытие по Гауссу"));
    QCOMPARE(form_->RedoAction->text(), QString("Повторить: Негатив"));
    const TBitmap blurred = Doc().CurrentImage;
    form_->UndoAction->trigger();
    QVERIFY(Doc().CurrentImage.SamePixels(GradientBitmap(64, 48)));
    QVERIFY(!form_->UndoAction->isEnabled() && !form_->isWindowModified());
    form_->RedoAction->trigger();
    QVERIFY(Doc().CurrentImage.SamePixels(blurred) && form_->isWindowModified());
    QVERIFY(form_->Errors.isEmpty());
  }

  // A long run shows the dialog after half a second; "Отмена" leaves the picture as it was.
  void cancellingALongRunChangesNothing() {
    WriteBitmapFile(dir_, "big.bmp", GradientBitmap(2000, 2000));
    form_->OpenFile(dir_.filePath("big.bmp"));
    Apply("N30");
    QVERIFY(cancelled_);
    QVERIFY(Doc().CurrentImage.SamePixels(GradientBitmap(2000, 2000)));
    QVERIFY(!Doc().Modified && !form_->UndoAction->isEnabled());
    QVERIFY(form_->ApplyFilterAction->isEnabled() && form_->Errors.isEmpty());
    // Closing the window cancels the run as well, then closes as usual.
    Apply("N33");
    cancelled_ = false;
    closing_ = true;
    form_->SaveAnswers = {TSaveAnswer::No};
    Apply("N30");
    QVERIFY(cancelled_ && form_->UndoAction->text() == "Отменить: Негатив");
    QTRY_VERIFY(!form_->isVisible() && form_->SaveQuestions == 1);
  }

  // "Отмена" stops a batch before its next file and tells how many were done.
  void cancellingABatchStopsBeforeTheNextFile() {
    const QString script = WriteTextFile(dir_, "noise.ivs", "GaussianNoise(YYY)\n");
    QStringList images;
    for (int i = 0; i < 6; ++i)
      images << WriteBitmapFile(dir_, QString("b%1.bmp").arg(i), GradientBitmap(1000, 1000));
    form_->FileAnswers = {QStringList{script}, images};
    form_->RunScriptAction->trigger();
    QVERIFY(cancelled_);
    QCOMPARE(form_->Messages.size(), 1);
    QVERIFY(form_->Messages[0].contains(QRegularExpression("обработано [1-5] из 6")));
    QVERIFY(LoadImageFile(FileNameOf(images.last())).SamePixels(GradientBitmap(1000, 1000)));
    QVERIFY(!form_->UndoAction->isEnabled() && form_->Errors.isEmpty());
  }

  // The recent list keeps ten files and drops missing ones; a dropped file opens after the save
  // question.
  void recentAndDroppedFilesOpen() {
    for (int i = 0; i < 12; ++i)
      form_->OpenFile(WriteBitmapFile(dir_, QString("f%1.bmp").arg(i), GradientBitmap(4, 4)));
    QCOMPARE(form_->RecentMenu->actions().size(), 10);
    QFile::remove(dir_.filePath("f5.bmp"));
    form_->RecentMenu->actions()[6]->trigger();  // f5
    QCOMPARE(form_->Errors.size(), 1);
    QVERIFY(!form_->RecentFiles().contains(dir_.filePath("f5.bmp")));
    form_->RecentMenu->actions()[1]->trigger();  // f10
    QCOMPARE(form_->RecentFiles().first(), dir_.filePath("f10.bmp"));
    // The picture dialogs start beside the document, Save as offering its name; a written file
    // joins the recent list; Save view offers no name.
    form_->FileAnswers = {std::nullopt, QStringList{dir_.filePath("saved.bmp")}};
    form_->OpenAction->trigger();
    form_->SaveAsAction->trigger();
    QCOMPARE(form_->ImageOpenDialog->directory().path(), dir_.path());
    QCOMPARE(form_->ImageSaveDialog->selectedFiles(), QStringList{dir_.filePath("f10.bmp")});
    QCOMPARE(form_->RecentFiles().first(), dir_.filePath("saved.bmp"));
    form_->SaveViewAction->trigger();
    QVERIFY(!form_->ImageSaveDialog->selectedFiles().value(0).endsWith(".bmp"));
    form_->RevertAction->trigger();
    form_->SaveAnswers = {TSaveAnswer::Cancel, TSaveAnswer::No};
    Drop(picture_);
    QCOMPARE(Doc().CurrentImage.Width(), 4);
    Drop(picture_);
    QCOMPARE(Doc().CurrentImage.Width(), 64);
    QCOMPARE(form_->SaveQuestions, 2);
  }

  void aDragAtTwiceTheZoomSelectsPicturePixels() {
    form_->OpenFile(picture_);
    form_->ZoomInAction->trigger();
    form_->ZoomInAction->trigger();
    QCOMPARE(form_->SelPaintBox->size(), QSize(128, 96));
    QTest::mousePress(form_->SelPaintBox, Qt::LeftButton, {}, QPoint(61, 41));
    QTest::mouseMove(form_->SelPaintBox, QPoint(21, 11));
    QCOMPARE(form_->SelBEdit->text(), QString("5"));  // the edits follow the drag
    QTest::mouseRelease(form_->SelPaintBox, Qt::LeftButton, {}, QPoint(21, 11));
    QCOMPARE(SelectionOf(Doc()), (QList<int>{10, 5, 30, 20}));
    QCOMPARE(form_->MouseStatePanel->text(), QString(" (10; 5): ( 10,  5, 15) "));
    // The status line follows the picture at the last mouse point, after the mouse has left too.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(form_->SelPaintBox, &leave);
    Apply("N33");
    QCOMPARE(form_->MouseStatePanel->text(), QString(" (10; 5): (245,250,240) "));
    form_->Zoom100Action->trigger();
    form_->UndoAction->trigger();  // unmodified, so that opening asks nothing
    form_->OpenFile(WriteBitmapFile(dir_, "small.bmp", GradientBitmap(8, 4)));
    QCOMPARE(form_->MouseStatePanel->text(), QString());
    // Ctrl+wheel keeps the picture point under the mouse in place, once the picture can scroll.
    form_->OpenFile(WriteBitmapFile(dir_, "wide.bmp", GradientBitmap(450, 340)));
    const QPointF at(100, 100);
    QWheelEvent wheel(at, at, {}, {0, 120}, {}, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form_->ViewScrollBox->viewport(), &wheel);  // 150 %: still fits
    QApplication::sendEvent(form_->ViewScrollBox->viewport(), &wheel);
    QCOMPARE(form_->ZoomLabel->text(), QString("200 %"));
    QCOMPARE(form_->SelPaintBox->PicturePoint(at - form_->SelPaintBox->pos()), QPoint(100, 100));
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TWorkbenchTest)
#include "WorkbenchTest.moc"
