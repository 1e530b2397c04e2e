#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/AboutBox.h"
#include "app/HistogramWindow.h"
#include "app/JpegOptionsDialog.h"
#include "app/MainWindow.h"
#include "app/RecognitionWindow.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Imvora");
  // Qt's own dialogs and buttons speak Russian like the rest of the program, where the
  // translations are installed.
  QTranslator qtTranslation;
  if (qtTranslation.load(QLocale(QLocale::Russian), "qtbase", "_",
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslation);
  }

  imvora::TMainForm mainForm;
  imvora::TAboutBox aboutBox(&mainForm);
  imvora::THistogram histogram(&mainForm);
  imvora::TJProp jpegDialog(&mainForm);
  imvora::TCDRForm recognitionWindow(mainForm.Document(), &mainForm);
  mainForm.SetAboutBox(&aboutBox);
  mainForm.SetHistogramWindow(&histogram);
  mainForm.SetJpegDialog(&jpegDialog);
  mainForm.SetRecognitionWindow(&recognitionWindow);
  mainForm.show();
  histogram.show();

  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) mainForm.OpenFile(arguments[1]);
  return application.exec();
}
