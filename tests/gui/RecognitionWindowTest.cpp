// The context-dependent recognition window: its controls, framing glyphs in the selection,
// the precedents, the dictionary files and the recognition.

#include "GuiTestSupport.h"
#include "app/RecognitionWindow.h"
#include "app/UpDown.h"
#include "recognition/ContourImageText.h"
#include "tests/core/ContourTestUtil.h"

namespace imvora {

class TTestCDRForm : public TCDRForm {
 public:
  using TCDRForm::TCDRForm;
  std::deque<QString> FileAnswers;
  QStringList Dialogs, Errors;

 protected:
  bool RunFileDialog(QFileDialog& dialog, QString& chosen) override {
    Dialogs << dialog.objectName();
    const std::optional<QString> answer = TakeFront(FileAnswers);
    chosen = answer.value_or(QString());
    return answer.has_value();
  }
  void ShowError(const QString& message) override { Errors << message; }
};

class TRecognitionWindowTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<TTestForm> form_;
  std::unique_ptr<TTestCDRForm> window_;

  TDocument& Doc() { return form_->Document(); }
  // Two glyphs: boxes (2, 3)-(12, 13) and (20, 5)-(30, 25), of different descriptions.
  void SetTwoGlyphs() {
    auto set = std::make_unique<TContourSet>();
    set->push_back(testing::Glyph({{0, 1, -1, 1, -1}}));
    set->push_back(testing::Glyph({{0, 1, 2, 3, 4}}));
    const int boxes[2][4] = {{2, 3, 12, 13}, {20, 5, 30, 25}};
    for (int i = 0; i < 2; ++i) {
      auto& g = *(*set)[i];
      std::tie(g.Left, g.Top, g.Right, g.Bottom) =
          std::tie(boxes[i][0], boxes[i][1], boxes[i][2], boxes[i][3]);
    }
    Doc().SetContours(std::move(set));
  }

 private slots:
  void init() {
    form_ = std::make_unique<TTestForm>();
    form_->OpenFile(WriteBitmapFile(dir_, "picture.bmp", GradientBitmap(100, 60)));
    Doc().SetSelection(10, 10, 90, 50);
    window_ = std::make_unique<TTestCDRForm>(Doc());
  }
  void cleanup() {
    window_.reset();
    form_.reset();
  }

  void showingFramesGlyphsRelativeToTheSavedSelection() {
    SetTwoGlyphs();
    window_->show();
    QCOMPARE(SelectionOf(Doc()), (QList<int>{12, 13, 22, 23}));
    window_->COUpDown->IncreaseButton()->click();
    QCOMPARE(SelectionOf(Doc()), (QList<int>{30, 15, 40, 35}));
    QCOMPARE(form_->SelREdit->text(), QString("40"));
    window_->Button1->click();
    QCOMPARE(SelectionOf(Doc()), (QList<int>{10, 10, 90, 50}));
    window_->COUpDown->IncreaseButton()->click();  // stays at the last glyph
    QCOMPARE(window_->COEdit->text(), QString("1"));
  }

  void precedentsAndRecognitionReadTheWord() {
    form_->KzrAction->trigger();  // the window opens without blocking
    QVERIFY(form_->findChild<TCDRForm*>()->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    window_->RAButton->click();  // no contour set yet
    QVERIFY(window_->Errors.value(0).contains("Распознавание контуров..."));
    window_->PAButton->click();
    QCOMPARE(window_->PRMemo->toPlainText(), QString("01"));
    SetTwoGlyphs();
    window_->show();
    RetypeText(window_->COEdit, "1");
    window_->PAButton->click();
    window_->COUpDown->DecreaseButton()->click();
    window_->PAButton->click();
    const TContourSet& set = *Doc().Contours();
    QCOMPARE(window_->PRMemo->toPlainText(),
             QString::fromStdString("01\n" + FormatContourImage(*set[1]) + "\n" +
                                    FormatContourImage(*set[0])));
    window_->RAButton->click();
    QCOMPARE(window_->RSEdit->text(), QString("10"));
    QCOMPARE(window_->LogMemo->toPlainText().split('\n').size(), 6);
    QCOMPARE(window_->DicMemo->toPlainText(), QString("1001\n1101\n11011"));
    window_->DicMemo->clear();  // every word is new now, and joins the dictionary
    window_->RAButton->click();
    QCOMPARE(window_->DicMemo->toPlainText(), window_->RSEdit->text());
    RetypeText(window_->NCEdit, "3");
    window_->RAButton->click();
    QCOMPARE(window_->Errors.last(), QString("Не заданы прецедентные данные!"));
    QCOMPARE(window_->LogMemo->toPlainText(), QString());
  }

  void dictionariesLoadFromEitherCodePageAndSaveAsUtf8() {
    const QString cp1251 = dir_.filePath("old.txt"), saved = dir_.filePath("new.txt");
    WriteFileAtomically(FileNameOf(cp1251), {0xE4, 0xE0, '\r', '\n', 0xED, 0xE5, 0xF2});
    window_->FileAnswers = {cp1251, saved};
    window_->DLButton->click();
    QCOMPARE(window_->DicMemo->toPlainText(), QString("да\nнет"));
    window_->DSButton->click();
    const std::vector<std::uint8_t> bytes = ReadWholeFile(FileNameOf(saved));
    QCOMPARE(std::string(bytes.begin(), bytes.end()), std::string("да\nнет\n"));
    window_->DLButton->click();  // cancelled
    QCOMPARE(window_->Dialogs, (QStringList{"DicOpenDialog", "DicSaveDialog", "DicOpenDialog"}));
    QCOMPARE(window_->DicMemo->toPlainText(), QString("да\nнет"));
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::TRecognitionWindowTest)
#include "RecognitionWindowTest.moc"
