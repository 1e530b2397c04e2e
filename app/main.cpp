#include "app/Main.h"

#include <QApplication>

#include "app/Jpr.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Imvora");

  imvora::TMainForm mainForm;
  imvora::TJProp jpegDialog(&mainForm);
  mainForm.SetJpegDialog(&jpegDialog);
  mainForm.show();

  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) mainForm.OpenFile(arguments[1]);
  return application.exec();
}
