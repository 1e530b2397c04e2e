// The histogram window: per-block scaling, bars and legend, block choice, and its tie to the
// main window's "Гистограмма" item and to the views.

#include "GuiTestSupport.h"
#include "app/HistogramWindow.h"
#include "core/MarkupData.h"

namespace imvora {
namespace {

constexpr int kRed = 0, kGreen = 1, kBlue = 2, kLuminance = 3;

std::int32_t& Counter(HistogramTable& table, int block, int level) {
  return table[block * 256 + level];
}

TBitmap OneColour(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x, p += 3) {
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return bitmap;
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
    Counter(*table, kRed, 0) = 50;
    Counter(*table, kRed, 10) = 200;
    Counter(*table, kRed, 11) = 199;
    Counter(*table, kGreen, 5) = 3;
    // Counts this large overflow 32 bits once multiplied by 100.
    Counter(*table, kLuminance, 255) = 30000000;
    Counter(*table, kLuminance, 0) = 15000000;
    Counter(*table, kLuminance, 1) = 2147483647 / 3;
    THistogram histogram;
    histogram.SetHistogram(std::move(table));
    const HistogramTable& scaled = *histogram.Table();
    QCOMPARE(scaled[kRed * 256 + 0], 25);
    QCOMPARE(scaled[kRed * 256 + 10], 100);
    QCOMPARE(scaled[kRed * 256 + 11], 99);  // truncated
    QCOMPARE(scaled[kGreen * 256 + 5], 100);
    for (int level = 0; level < 256; ++level) QCOMPARE(scaled[kBlue * 256 + level], 0);
    QCOMPARE(scaled[kLuminance * 256 + 0], 2);
    QCOMPARE(scaled[kLuminance * 256 + 1], 100);
    QCOMPARE(scaled[kLuminance * 256 + 255], 4);
  }

  void aOneColourPictureShowsFullHeightBars() {
    TTestForm form;
    THistogram histogram;
    form.SetHistogramWindow(&histogram);
    form.OpenFile(WriteBitmapFile(dir_, "plain.bmp", OneColour(10, 10, 30, 60, 90)));
    const HistogramTable& table = *histogram.Table();
    QCOMPARE(table[kRed * 256 + 90], 100);
    QCOMPARE(table[kGreen * 256 + 60], 100);
    QCOMPARE(table[kBlue * 256 + 30], 100);
    // Luminance trunc(0.114*30 + 0.587*60 + 0.299*90) = 65.
    QCOMPARE(table[kLuminance * 256 + 65], 100);
    QCOMPARE(histogram.SelectedBlock(), kLuminance);
    const QImage shown = histogram.Render();
    QCOMPARE(shown.size(), QSize(256, 121));
    for (int y = 1; y <= 100; ++y) QVERIFY(IsBlack(shown, 65, y));
    QVERIFY(!IsBlack(shown, 65, 0));
    QVERIFY(!IsBlack(shown, 64, 100));
    QVERIFY(!IsBlack(shown, 66, 100));
  }

  void theLegendMarksTheChosenBlock() {
    THistogram histogram;
    histogram.show();
    QVERIFY(QTest::qWaitForWindowExposed(&histogram));
    QImage shown = histogram.Render();
    QCOMPARE(shown.pixel(10, 110), qRgb(255, 0, 0));
    QCOMPARE(shown.pixel(100, 110), qRgb(0, 128, 0));
    QCOMPARE(shown.pixel(150, 110), qRgb(0, 0, 255));
    QCOMPARE(shown.pixel(200, 110), qRgb(255, 255, 255));
    QCOMPARE(shown.pixel(192, 101), qRgb(0, 0, 0));  // white inverted: the luminance swatch
    QCOMPARE(shown.pixel(255, 120), qRgb(0, 0, 0));
    QCOMPARE(shown.pixel(128, 101), qRgb(0, 0, 255));

    QTest::mouseClick(&histogram, Qt::LeftButton, {}, QPoint(150, 110));
    QCOMPARE(histogram.SelectedBlock(), kBlue);
    shown = histogram.Render();
    QCOMPARE(shown.pixel(128, 101), qRgb(255, 255, 0));  // blue inverted
    QCOMPARE(shown.pixel(191, 120), qRgb(255, 255, 0));
    QCOMPARE(shown.pixel(150, 110), qRgb(0, 0, 255));
    QCOMPARE(shown.pixel(192, 101), qRgb(255, 255, 255));

    // Presses on the bars change nothing; the strip's first and last rows do.
    QTest::mouseClick(&histogram, Qt::LeftButton, {}, QPoint(10, 100));
    QTest::mouseClick(&histogram, Qt::LeftButton, {}, QPoint(10, 50));
    QCOMPARE(histogram.SelectedBlock(), kBlue);
    QTest::mouseClick(&histogram, Qt::LeftButton, {}, QPoint(63, 101));
    QCOMPARE(histogram.SelectedBlock(), kRed);
    QTest::mouseClick(&histogram, Qt::LeftButton, {}, QPoint(64, 120));
    QCOMPARE(histogram.SelectedBlock(), kGreen);
  }

  void closingUnticksTheMenuItemAndTickingShowsItAgain() {
    TTestForm form;
    THistogram histogram(&form);
    form.SetHistogramWindow(&histogram);
    form.show();
    histogram.show();
    QVERIFY(QTest::qWaitForWindowExposed(&histogram));
    QCOMPARE(histogram.windowTitle(), QString("Гистограмма"));
    QVERIFY(histogram.windowFlags() & Qt::WindowStaysOnTopHint);
    form.OpenFile(WriteBitmapFile(dir_, "gradient.bmp", GradientBitmap(30, 20)));
    const HistogramTable kept = *histogram.Table();

    QVERIFY(histogram.close());
    QVERIFY(!histogram.isVisible());
    QVERIFY(!form.HistogramAction->isChecked());
    form.HistogramAction->trigger();
    QVERIFY(form.HistogramAction->isChecked());
    QVERIFY(histogram.isVisible());
    QVERIFY(*histogram.Table() == kept);
    form.HistogramAction->trigger();
    QVERIFY(!histogram.isVisible());
  }

  void onlyPicturesRefreshTheHistogram() {
    TTestForm form;
    THistogram histogram;
    form.SetHistogramWindow(&histogram);
    form.OpenFile(WriteBitmapFile(dir_, "gradient.bmp", GradientBitmap(30, 20)));
    const HistogramTable* shown = histogram.Table();
    auto markup = std::make_unique<TMarkupData>(30, 20);
    markup->RegionCount = 2;
    std::fill(markup->Labels.begin(), markup->Labels.begin() + 300, 1);
    form.Document().SetMarkup(std::move(markup));
    form.ShowMarkupAction->trigger();
    QCOMPARE(histogram.Table(), shown);
    form.ShowCurrentAction->trigger();
    QVERIFY(histogram.Table() != shown);
  }
};

}  // namespace imvora

QTEST_MAIN(imvora::THistogramTest)
#include "HistogramTest.moc"
