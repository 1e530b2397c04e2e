// The histogram window: per-block scaling, bars and legend, block choice, and its tie to the
// main window's "Гистограмма" item and to the views.

#include "GuiTestSupport.h"
#include "app/HistogramWindow.h"
#include "core/MarkupData.h"

namespace imvora {
namespace {

constexpr int kRed = 0, kGreen = 1, kBlue = 2, kLuminance = 3;

int At(int block, int level) {
  return block * 256 + level;
}

bool IsBlack(const QImage& image, int x, int y) {
  return image.pixel(x, y) == qRgb(0, 0, 0);
}

}  // namespace

class THistogramTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;

 private slots:
  void eachBlockIsScaledByItsOwnPeak() {
    auto table = std::make_unique<HistogramTable>();
    table->fill(0);
    // Block, level, count, bar height (truncated). The luminance counts overflow 32 bits times 100.
    const int rows[][4] = {{kRed, 0, 50, 25},
                           {kRed, 10, 200, 100},
                           {kRed, 11, 199, 99},
                           {kGreen, 5, 3, 100},
                           {kLuminance, 255, 30000000, 4},
                           {kLuminance, 0, 15000000, 2},
                           {kLuminance, 1, 715827882, 100}};
    for (const auto& row : rows) (*table)[At(row[0], row[1])] = row[2];
    THistogram histogram;
    histogram.SetHistogram(std::move(table));
    const HistogramTable& scaled = *histogram.Table();
    for (const auto& row : rows) QCOMPARE(scaled[At(row[0], row[1])], row[3]);
    for (int level = 0; level < 256; ++level) QCOMPARE(scaled[At(kBlue, level)], 0);
  }

  // A one-colour picture shows one full-height bar per block, at that block's level. Pressing a
  // swatch shows its block and frames the swatch by inverting; presses on the bars do nothing.
  void aSwatchShowsItsBlocksBar() {
    TTestForm form;
    THistogram histogram;
    form.SetHistogramWindow(&histogram);
    histogram.show();
    QVERIFY(QTest::qWaitForWindowExposed(&histogram));
    TBitmap plain(1, 1);
    std::uint8_t* p = plain.ScanLine(0);
    std::tie(p[0], p[1], p[2]) = std::tuple(30, 60, 90);
    form.OpenFile(WriteBitmapFile(dir_, "plain.bmp", plain));
    // Press (none at first), the block shown, its bar's column and a pixel of the framed swatch.
    // Luminance trunc(0.114*30 + 0.587*60 + 0.299*90) = 65.
    const std::tuple<QPoint, int, int, QPoint, QRgb> steps[] = {
        {{}, kLuminance, 65, {192, 101}, qRgb(0, 0, 0)},
        {{150, 110}, kBlue, 30, {128, 101}, qRgb(255, 255, 0)},
        {{10, 50}, kBlue, 30, {191, 120}, qRgb(255, 255, 0)},
        {{10, 100}, kBlue, 30, {192, 101}, qRgb(255, 255, 255)},
        {{63, 101}, kRed, 90, {0, 101}, qRgb(0, 255, 255)},
        {{64, 120}, kGreen, 60, {127, 120}, qRgb(255, 127, 255)}};
    for (const auto& [press, block, level, framed, colour] : steps) {
      if (!press.isNull()) QTest::mouseClick(&histogram, Qt::LeftButton, {}, press);
      QCOMPARE(histogram.SelectedBlock(), block);
      QCOMPARE(histogram.Table()->at(At(block, level)), 100);
      const QImage shown = histogram.Render();
      QCOMPARE(shown.size(), QSize(256, 121));
      QCOMPARE(shown.pixel(framed), colour);
      for (int y = 0; y <= 101; ++y) QCOMPARE(IsBlack(shown, level, y), y >= 1 && y <= 100);
      QVERIFY(!IsBlack(shown, level - 1, 100) && !IsBlack(shown, level + 1, 100));
    }
  }

  // Closing unticks "Гистограмма", ticking shows the same table again; pictures refresh it, the
  // label map does not.
  void theWindowFollowsItsMenuItemAndThePictures() {
    TTestForm form;
    THistogram histogram(&form);
    form.SetHistogramWindow(&histogram);
    form.show();
    histogram.show();
    QVERIFY(QTest::qWaitForWindowExposed(&histogram));
    form.OpenFile(WriteBitmapFile(dir_, "gradient.bmp", GradientBitmap(30, 20)));
    const HistogramTable* shown = histogram.Table();
    QVERIFY(histogram.close());
    QVERIFY(!histogram.isVisible() && !form.HistogramAction->isChecked());
    form.HistogramAction->trigger();
    QVERIFY(form.HistogramAction->isChecked() && histogram.isVisible());
    auto markup = std::make_unique<TMarkupData>(30, 20);
    markup->RegionCount = 2;
    std::fill(markup->Labels.begin(), markup->Labels.begin() + 300, 1);
    form.Document().SetMarkup(std::move(markup));
    form.ShowMarkupAction->trigger();
    QCOMPARE(histogram.Table(), shown);
    form.ShowCurrentAction->trigger();
    QVERIFY(histogram.Table() != shown);
    form.HistogramAction->trigger();
    QVERIFY(!histogram.isVisible());
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::THistogramTest)
#include "HistogramTest.moc"
