#include "cli/Command.h"

#include <algorithm>

#include "core/Error.h"
#include "core/Random.h"
#include "core/TextConvert.h"
#include "filters/FilterCatalog.h"

namespace imvora::cli {
namespace {

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
  if (option.rfind("--", 0) != 0 || allowed.find(option) == std::string::npos) return false;
  if (option == "--select") {
    ParseSelection(OptionValue(args, i), options);
  } else if (option == "--seed") {
    SeedRandom(static_cast<std::uint32_t>(ParseIntOption(option, OptionValue(args, i))));
  } else if (option == "--jpeg-quality") {
    const std::int32_t quality = ParseIntOption(option, OptionValue(args, i));
    options.Ui.Jpeg.Quality = std::clamp(quality, 1, 100);
  } else if (option == "--progressive") {
    options.Ui.Jpeg.Progressive = true;
  } else {
    return false;
  }
  return true;
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
