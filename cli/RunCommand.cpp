#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/Command.h"
#include "core/BatchRunner.h"
#include "core/Error.h"
#include "core/TextConvert.h"
#include "filters/FilterCatalog.h"

namespace imvora::cli {
namespace {

const char* const kUsage =
    "Использование: imvora-cli run [--jpeg-quality Q] [--progressive] [--seed N] [-j N]\n"
    "                              [--progress] [--threads N] СКРИПТ ФАЙЛ [ФАЙЛ...]\n"
    "Выполняет скрипт на каждом файле: открывает файл, выполняет строки скрипта (по\n"
    "одному вызову Имя(XYZ p1 p2 ...) в строке) и записывает результат на место файла\n"
    "(BMP или JPEG по расширению). Строка без известного фильтра, в том числе пустая,\n"
    "завершает скрипт для этого файла; файл всё равно записывается. Файл заменяется\n"
    "целиком или остаётся прежним. Ошибка в файле останавливает запуск следующих файлов:\n"
    "начатые доводятся до конца, обработанные остаются записанными, а каждый файл с\n"
    "ошибкой называется в потоке ошибок. Перед каждым файлом в поток ошибок выводится\n"
    "строка [номер/всего] ФАЙЛ.\n"
    "Параметры:\n"
    "  -j N, --jobs N      обрабатывать до N файлов одновременно (по умолчанию 1; 0 — по\n"
    "                      числу ядер; не больше 256) с тем же результатом, что и по\n"
    "                      одному. Если результат зависит от порядка файлов (нормальный\n"
    "                      шум берёт числа из общего датчика, фильтр вызывается с\n"
    "                      разными параметрами, файл назван дважды), файлы\n"
    "                      обрабатываются по одному, о чём сообщается в потоке ошибок\n"
    "  --seed N            начальное значение датчика случайных чисел (по умолчанию — от\n"
    "                      часов); с ним результат воспроизводим\n"
    "  --jpeg-quality Q    качество файлов JPEG от 1 до 100, по умолчанию 85\n"
    "  --progressive       записывать JPEG с постепенной развёрткой\n"
    "  --progress          ход выполнения каждого вызова в процентах в поток ошибок (когда\n"
    "                      файлы обрабатываются по одному)\n"
    "  --threads N         число потоков обработки (по умолчанию по числу ядер процессора;\n"
    "                      при -j они делятся между заданиями)\n"
    "  --                  дальше только СКРИПТ и ФАЙЛЫ, даже если имя начинается с «-»\n"
    "Пример:\n"
    "  imvora-cli run -j 2 --seed 1 clean.ivs scan1.bmp scan2.bmp scan3.jpg\n";

// One status line per file on the error stream, so that the output stays clean.
class TStatusLines : public IBatchProgress {
 public:
  void FileStarted(int index, int count, const std::string& name) override {
    std::cerr << "[" << index + 1 << "/" << count << "] " << name << "\n";
  }
};

struct TRunOptions {
  TCommonOptions Common;
  int Jobs = 1;
  std::vector<std::string> Positional;
};

TRunOptions ParseRunOptions(const std::vector<std::string>& args) {
  TRunOptions options;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!optionsEnded && args[i] == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (args[i] == "-j" || args[i] == "--jobs")) {
      if (i + 1 >= args.size()) throw TUsageError("у " + args[i] + " нет значения");
      if (!TryParseInt(args[++i], options.Jobs) || options.Jobs < 0) {
        throw TUsageError("число заданий должно быть целым, не меньше 0: «" + args[i] + "»");
      }
    } else if (!optionsEnded && args[i].rfind("--", 0) == 0) {
      if (!TakeCommonOption(args, i, options.Common,
                            "--seed --jpeg-quality --progressive --progress --threads")) {
        throw TUsageError("неизвестный параметр " + args[i]);
      }
    } else {
      options.Positional.push_back(args[i]);
    }
  }
  if (options.Positional.size() < 2) throw TUsageError("нужны СКРИПТ и хотя бы один ФАЙЛ");
  return options;
}

std::string FailureMessage(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const EImvoraError& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("Неизвестная внутренняя ошибка (") + e.what() + ")";
  } catch (...) {
    return "Неизвестная внутренняя ошибка";
  }
}

int RunRun(const std::vector<std::string>& args) {
  SeedUnlessGiven(args);
  TRunOptions options = ParseRunOptions(args);
  const std::vector<std::string> lines = ReadScriptFile(options.Positional[0]);
  const std::vector<std::string> files(options.Positional.begin() + 1, options.Positional.end());
  // The jobs share the command line's answers, which they only read.
  THeadlessUi& ui = options.Common.Ui;
  // The share of each call is shown while the files go one at a time; jobs side by side
  // have only their file lines.
  TProgressLine progressLine;
  IProgress* progress = nullptr;
  const TDocumentFactory makeDocument = [&ui, &progress] {
    auto document = std::make_unique<TDocument>(ui);
    RegisterFilters(*document);
    document->SetProgress(progress);
    return document;
  };
  int jobs = static_cast<int>(std::min<std::size_t>(BatchJobs(options.Jobs), files.size()));
  if (jobs > 1) {
    const std::string dependence = FileOrderDependence(*makeDocument(), lines, files);
    if (!dependence.empty()) {
      std::cerr << "imvora-cli run: результат зависит от порядка файлов (" << dependence
                << "), файлы обрабатываются по одному\n";
      jobs = 1;
    }
  }
  if (jobs == 1 && options.Common.Progress) progress = &progressLine;
  TStatusLines status;
  const std::vector<TBatchFailure> failures =
      RunBatchJobs(makeDocument, lines, files, jobs, &status);
  for (const TBatchFailure& failure : failures) {
    std::cerr << "imvora-cli run: " << failure.File << ": " << FailureMessage(failure.Error)
              << "\n";
  }
  return failures.empty() ? 0 : 1;
}

const TCommandRegistrar registrar({"run", kUsage, &RunRun});

}  // namespace
}  // namespace imvora::cli
