#include <iostream>
#include <string>

#include "cli/Command.h"
#include "core/Error.h"

namespace imvora::cli {
namespace {

const char* const kUsage =
    "Использование: imvora-cli regions [--select L,T,R,B] [--seed N] [--labels ФАЙЛ]\n"
    "                                  [--threads N] ВХОД ВЫЗОВ [ВЫЗОВ...]\n"
    "Открывает ВХОД, выполняет вызовы фильтров (последний обычно Markup(...)) на выделенной\n"
    "области и печатает карту областей, построенную последним вызовом, в виде CSV: по строке\n"
    "на область в порядке меток. --labels ФАЙЛ записывает и сами метки: по строке изображения\n"
    "на строку файла, через пробел.\n"
    "Параметры:\n"
    "  --select L,T,R,B    выделенная область, как у apply\n"
    "  --seed N            начальное значение датчика случайных чисел, как у apply\n"
    "  --labels ФАЙЛ       записать метки в ФАЙЛ\n"
    "  --threads N         число потоков обработки (по умолчанию по числу ядер процессора)\n"
    "Пример: imvora-cli regions in.bmp \"Markup(YYY 16 16 16)\"\n";

const char* const kHeader =
    "label,mean_r,mean_g,mean_b,area,min_x,min_y,max_x,max_y,center_x,center_y\n";

void PrintRegions(const TMarkupData& markup, std::ostream& out) {
  out << kHeader;
  for (std::int32_t l = 0; l < markup.RegionCount; ++l) {
    out << l << ',' << markup.MeanR[l] << ',' << markup.MeanG[l] << ',' << markup.MeanB[l] << ','
        << markup.Area[l] << ',' << markup.MinX[l] << ',' << markup.MinY[l] << ',' << markup.MaxX[l]
        << ',' << markup.MaxY[l] << ',' << markup.CenterX[l] << ',' << markup.CenterY[l] << '\n';
  }
}

void WriteLabels(const TMarkupData& markup, const std::string& name) {
  std::string text;
  const std::int32_t* label = markup.Labels.data();
  for (std::int32_t y = 0; y < markup.Height; ++y) {
    for (std::int32_t x = 0; x < markup.Width; ++x, ++label) {
      if (x > 0) text += ' ';
      text += std::to_string(*label);
    }
    text += '\n';
  }
  WriteFileAtomically(name, {text.begin(), text.end()});
}

int RunRegions(const std::vector<std::string>& args) {
  SeedUnlessGiven(args);
  TCommonOptions options;
  std::string labelsFile;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (TakeCommonOption(args, i, options, "--select --seed --threads")) continue;
    if (args[i] == "--labels" && positional.empty()) {
      if (i + 1 >= args.size()) throw TUsageError("у --labels нет значения");
      labelsFile = args[++i];
      continue;
    }
    if (args[i].rfind("--", 0) == 0 && positional.empty()) {
      throw TUsageError("неизвестный параметр " + args[i]);
    }
    positional.push_back(args[i]);
  }
  if (positional.size() < 2) throw TUsageError("нужны ВХОД и хотя бы один вызов");
  TDocument document(options.Ui);
  OpenAndRunCalls(document, options, positional[0], {positional.begin() + 1, positional.end()});
  const TMarkupData* markup = document.CurrentMarkup();
  if (markup == nullptr) {
    throw EImvoraError("нет разметки: последний вызов не построил карту областей");
  }
  if (!labelsFile.empty()) WriteLabels(*markup, labelsFile);
  PrintRegions(*markup, std::cout);
  return 0;
}

const TCommandRegistrar registrar({"regions", kUsage, &RunRegions});

}  // namespace
}  // namespace imvora::cli
