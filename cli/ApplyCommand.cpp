#include "cli/Command.h"

namespace imvora::cli {
namespace {

const char* const kUsage =
    "Использование: imvora-cli apply [--select L,T,R,B] [--seed N] [--jpeg-quality Q]\n"
    "                                [--progressive] [--progress] [--threads N]\n"
    "                                ВХОД ВЫХОД ВЫЗОВ [ВЫЗОВ...]\n"
    "Открывает ВХОД, выполняет вызовы фильтров вида Имя(XYZ p1 p2 ...) на выделенной\n"
    "области (по умолчанию на всём изображении) и записывает ВЫХОД (BMP или JPEG по\n"
    "расширению). Неизвестный фильтр в вызове — ошибка, и ВЫХОД тогда не записывается.\n"
    "Параметры:\n"
    "  --select L,T,R,B    выделенная область: левый, верхний, правый и нижний край\n"
    "                      включительно, в пикселях; края упорядочиваются и ограничиваются\n"
    "                      изображением\n"
    "  --seed N            начальное значение датчика случайных чисел (по умолчанию — от\n"
    "                      часов); с ним нормальный шум воспроизводим\n"
    "  --jpeg-quality Q    качество JPEG от 1 до 100, по умолчанию 85\n"
    "  --progressive       записывать JPEG с постепенной развёрткой\n"
    "  --progress          ход выполнения каждого вызова в процентах в поток ошибок\n"
    "  --threads N         число потоков обработки (по умолчанию по числу ядер процессора)\n"
    "Пример: imvora-cli apply in.bmp out.bmp \"Invert(YYY)\"\n";

int RunApply(const std::vector<std::string>& args) {
  SeedUnlessGiven(args);
  TCommonOptions options;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (TakeCommonOption(args, i, options,
                         "--select --seed --jpeg-quality --progressive --progress --threads")) {
      continue;
    }
    if (args[i].rfind("--", 0) == 0 && positional.size() < 2) {
      throw TUsageError("неизвестный параметр " + args[i]);
    }
    positional.push_back(args[i]);
  }
  if (positional.size() < 3) throw TUsageError("нужны ВХОД, ВЫХОД и хотя бы один вызов");
  TDocument document(options.Ui);
  TProgressLine progress;
  if (options.Progress) document.SetProgress(&progress);
  OpenAndRunCalls(document, options, positional[0], {positional.begin() + 2, positional.end()});
  document.SaveImageFile(positional[1], document.CurrentImage);
  return 0;
}

const TCommandRegistrar registrar({"apply", kUsage, &RunApply});

}  // namespace
}  // namespace imvora::cli
