#include "cli/ContourRun.h"

#include "core/Error.h"
#include "core/TextConvert.h"
#include "recognition/ContourRecognition.h"

namespace imvora::cli {

std::int32_t BoundedOption(const std::string& option, const std::string& text, std::int32_t min,
                           std::int32_t max) {
  std::int32_t value;
  if (!TryParseInt(text, value) || value < min || value > max) {
    throw TUsageError("значение " + option + " должно быть целым от " + std::to_string(min) +
                      " до " + std::to_string(max) + ": «" + text + "»");
  }
  return value;
}

TContourOptions ParseContourOptions(
    const std::vector<std::string>& args,
    const std::function<bool(const std::vector<std::string>&, std::size_t&)>& extra) {
  TContourOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (TakeCommonOption(args, i, options.Common, "--select --threads")) continue;
    if (args[i] == "--coefs") {
      if (i + 1 >= args.size()) throw TUsageError("у --coefs нет значения");
      options.CoefCount = BoundedOption("--coefs", args[++i], 2, kMaxCoefCount);
      continue;
    }
    if (extra(args, i)) continue;
    if (args[i].rfind("--", 0) == 0) throw TUsageError("неизвестный параметр " + args[i]);
    options.Positional.push_back(args[i]);
  }
  return options;
}

const TContourSet& RunContourRecognition(TDocument& document, const TContourOptions& options,
                                         const std::string& input) {
  OpenAndRunCalls(document, options.Common, input, {});
  auto* filter = dynamic_cast<TContourRecognitionFilter*>(
      document.Filter(document.FindFilter("ContourRecognition")));
  if (filter == nullptr) throw EImvoraError("фильтр ContourRecognition недоступен");
  filter->CoefCount = options.CoefCount;
  RunCalls(document, {"ContourRecognition(YYY)"});
  static const TContourSet kNoContours;
  return document.Contours() != nullptr ? *document.Contours() : kNoContours;
}

}  // namespace imvora::cli
