#include "cli/Command.h"

#include <algorithm>
#include <iostream>

#include "core/Error.h"
#include "core/Random.h"
#include "core/RowBands.h"
#include "core/TextConvert.h"
#include "filters/FilterCatalog.h"

namespace imvora::cli {
namespace {

// More threads than bands never run; this only keeps absurd values out.
constexpr std::int32_t kMaxThreads = 1024;

std::vector<TCliCommand>& Registry() {
  static std::vector<TCliCommand> commands;
  return commands;
}

std::int32_t ParseIntOption(const std::string& option, const std::string& text) {
  std::int32_t value;
  if (!TryParseInt(text, value)) {
    throw TUsageError("значение " + option + " должно быть целым числом: «" + text + "»");
  }
  return value;
}

const std::string& OptionValue(const std::vector<std::string>& args, std::size_t& i) {
  if (i + 1 >= args.size()) throw TUsageError("у " + args[i] + " нет значения");
  return args[++i];
}

void ParseSelection(const std::string& text, TCommonOptions& options) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == ',') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  if (parts.size() != 4) throw TUsageError("--select ждёт L,T,R,B: «" + text + "»");
  for (int k = 0; k < 4; ++k) options.Select[k] = ParseIntOption("--select", parts[k]);
  options.HasSelection = true;
}

}  // namespace

const char* const kOverviewUsage =
    "Использование: imvora-cli КОМАНДА [ПАРАМЕТРЫ]\n"
    "               imvora-cli КОМАНДА --help\n"
    "               imvora-cli --version\n"
    "Обрабатывает изображения BMP и JPEG фильтрами Imvora без графического интерфейса.\n";

const char* const kFilterCallHelp =
    "Вызов фильтра: Имя(XYZ p1 p2 ...)\n"
    "  Имя         имя фильтра из списка imvora-cli filters, в любом регистре\n"
    "  XYZ         каналы 1, 2, 3 (красный, зелёный, синий): Y, y или 1 включает канал,\n"
    "              любой другой знак выключает\n"
    "  p1 p2 ...   целые параметры в порядке списка imvora-cli filters; числа разделяет\n"
    "              любой знак, кроме цифр («1.5» — это 1 и 5), минус перед цифрами делает\n"
    "              число отрицательным\n"
    "Без скобок или с аргументом короче трёх знаков фильтр работает на всех каналах и не\n"
    "меняет параметров. Если после букв каналов нет ни одного числа, первый параметр\n"
    "получает значение 0. Параметр, которого вызов не задаёт, сохраняет значение,\n"
    "оставленное прежним вызовом того же фильтра. Текст после закрывающей скобки не\n"
    "читается. В скрипте — по вызову в строке; строки разделяются CR LF, LF или CR.\n";

const char* const kExitStatusHelp =
    "Код возврата:\n"
    "  0   успех\n"
    "  1   ошибка, её сообщение выводится в поток ошибок; выходной файл команды тогда не\n"
    "      записывается, а run называет каждый файл с ошибкой, остальные же файлы\n"
    "      записаны целиком или не тронуты\n"
    "  2   неверная командная строка: сообщение и справка о команде выводятся в поток\n"
    "      ошибок\n";

const char* const kExamplesHelp =
    "Примеры:\n"
    "  imvora-cli filters\n"
    "  imvora-cli apply --select 10,10,99,59 photo.jpg out.jpg \"Invert(YNN)\"\n"
    "  imvora-cli apply --seed 7 in.bmp noisy.bmp \"GaussianNoise(YYY 0 10 12)\"\n"
    "  imvora-cli run -j 0 clean.ivs scans/*.bmp\n";

TCommandRegistrar::TCommandRegistrar(const TCliCommand& command) {
  Registry().push_back(command);
}

const std::vector<TCliCommand>& Commands() {
  return Registry();
}

bool THeadlessUi::AskJpegOptions(TJpegDialogResult& result) {
  result.QualityText = std::to_string(Jpeg.Quality);
  result.Progressive = Jpeg.Progressive;
  return true;
}

bool TakeCommonOption(const std::vector<std::string>& args, std::size_t& i, TCommonOptions& options,
                      const std::string& allowed) {
  const std::string& option = args[i];
  if (option.rfind("--", 0) != 0 ||
      (" " + allowed + " ").find(" " + option + " ") == std::string::npos) {
    return false;
  }
  if (option == "--select") {
    ParseSelection(OptionValue(args, i), options);
  } else if (option == "--seed") {
    SeedRandom(static_cast<std::uint32_t>(ParseIntOption(option, OptionValue(args, i))));
  } else if (option == "--jpeg-quality") {
    const std::int32_t quality = ParseIntOption(option, OptionValue(args, i));
    options.Ui.Jpeg.Quality = std::clamp(quality, 1, 100);
  } else if (option == "--progressive") {
    options.Ui.Jpeg.Progressive = true;
  } else if (option == "--progress") {
    options.Progress = true;
  } else if (option == "--threads") {
    const std::int32_t threads = ParseIntOption(option, OptionValue(args, i));
    if (threads < 1 || threads > kMaxThreads) {
      throw TUsageError("значение --threads должно быть от 1 до " + std::to_string(kMaxThreads));
    }
    SetWorkerThreads(threads);
  } else {
    return false;
  }
  return true;
}

void TProgressLine::Report(std::int64_t done, std::int64_t total) {
  const int percent =
      total > 0 ? static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100)) : 0;
  if (percent == shown_) return;
  // A lower share is the next call starting on a line of its own.
  if (percent < shown_ && shown_ < 100) std::cerr << "\n";
  shown_ = percent;
  std::cerr << "\rвыполнено " << percent << " %" << (percent == 100 ? "\n" : "") << std::flush;
}

bool WantsHelp(const std::vector<std::string>& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; });
}

void SeedUnlessGiven(const std::vector<std::string>& args) {
  if (std::find(args.begin(), args.end(), "--seed") == args.end()) SeedRandomFromClock();
}

void RunCalls(TDocument& document, const std::vector<std::string>& calls) {
  for (const std::string& call : calls) {
    if (!document.RunFilterCall(call)) {
      throw EImvoraError("неизвестный фильтр в вызове «" + call + "»");
    }
  }
}

void OpenAndRunCalls(TDocument& document, const TCommonOptions& options, const std::string& input,
                     const std::vector<std::string>& calls) {
  RegisterFilters(document);
  document.OpenImageFile(input);
  if (options.HasSelection) {
    document.SetSelection(options.Select[0], options.Select[1], options.Select[2],
                          options.Select[3]);
  }
  RunCalls(document, calls);
}

}  // namespace imvora::cli
