#include <iostream>

#include "cli/Command.h"
#include "core/BatchRunner.h"
#include "filters/FilterCatalog.h"

namespace imvora::cli {
namespace {

const char* const kUsage =
    "Использование: imvora-cli run [--jpeg-quality Q] [--progressive] [--seed N]\n"
    "                              СКРИПТ ФАЙЛ [ФАЙЛ...]\n"
    "Выполняет скрипт на каждом файле по очереди: открывает файл, выполняет строки\n"
    "скрипта (по одному вызову Имя(XYZ p1 p2 ...) в строке) и записывает результат\n"
    "на место файла (BMP или JPEG по расширению; для JPEG — с качеством Q, по\n"
    "умолчанию 85). Строка без известного фильтра, в том числе пустая, завершает\n"
    "скрипт для этого файла; файл всё равно записывается. Первая ошибка прерывает\n"
    "обработку; уже обработанные файлы остаются записанными.\n";

// One status line per file on the error stream, so that the output stays clean.
class TStatusLines : public IBatchProgress {
 public:
  void FileStarted(int index, int count, const std::string& name) override {
    std::cerr << "[" << index + 1 << "/" << count << "] " << name << "\n";
  }
};

int RunRun(const std::vector<std::string>& args) {
  SeedUnlessGiven(args);
  TCommonOptions options;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!optionsEnded && args[i] == "--") {
      optionsEnded = true;
      continue;
    }
    if (!optionsEnded && args[i].rfind("--", 0) == 0) {
      if (!TakeCommonOption(args, i, options, "--seed --jpeg-quality --progressive")) {
        throw TUsageError("неизвестный параметр " + args[i]);
      }
      continue;
    }
    positional.push_back(args[i]);
  }
  if (positional.size() < 2) throw TUsageError("нужны СКРИПТ и хотя бы один ФАЙЛ");
  const std::vector<std::string> lines = ReadScriptFile(positional[0]);
  TDocument document(options.Ui);
  RegisterFilters(document);
  TStatusLines status;
  RunBatch(document, lines, {positional.begin() + 1, positional.end()}, &status);
  return 0;
}

const TCommandRegistrar registrar({"run", kUsage, &RunRun});

}  // namespace
}  // namespace imvora::cli
