#include <iostream>

#include "cli/ContourRun.h"
#include "recognition/ContourImageText.h"

namespace imvora::cli {
namespace {

const char* const kUsage =
    "Использование: imvora-cli contours [--select L,T,R,B] [--coefs N] [--threads N]\n"
    "                                   ВХОД [ВЫХОД]\n"
    "Выполняет распознавание контуров тёмных глифов ВХОДА (на выделенной области, по\n"
    "умолчанию на всём изображении) и печатает глифы слева направо: строку\n"
    "«box L T R B objects K» и под ней текст контурного изображения. --coefs N задаёт число\n"
    "коэффициентов Чебышёва на координату (2 ... 1000, по умолчанию 20). ВЫХОД получает\n"
    "получившуюся картинку контуров (BMP или JPEG по расширению).\n"
    "--threads N задаёт число потоков обработки (по умолчанию по числу ядер процессора).\n";

int RunContours(const std::vector<std::string>& args) {
  TContourOptions options = ParseContourOptions(
      args, [](const std::vector<std::string>&, std::size_t&) { return false; });
  if (options.Positional.empty() || options.Positional.size() > 2) {
    throw TUsageError("нужны ВХОД и, по желанию, ВЫХОД");
  }
  TDocument document(options.Common.Ui);
  const TContourSet& set = RunContourRecognition(document, options, options.Positional[0]);
  for (const auto& image : set) {
    std::cout << "box " << image->Left << ' ' << image->Top << ' ' << image->Right << ' '
              << image->Bottom << " objects " << image->Objects.size() << '\n'
              << FormatContourImage(*image) << '\n';
  }
  if (options.Positional.size() == 2) {
    document.SaveImageFile(options.Positional[1], document.CurrentImage);
  }
  return 0;
}

const TCommandRegistrar registrar({"contours", kUsage, &RunContours});

}  // namespace
}  // namespace imvora::cli
