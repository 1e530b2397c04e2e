#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "core/ContourData.h"

namespace imvora::cli {

// Options of the commands that run the contour recognition.
struct TContourOptions {
  TCommonOptions Common;
  std::int32_t CoefCount = 20;
  std::vector<std::string> Positional;
};

// Takes --select, --threads N, --coefs N and the positional arguments; `extra` handles the
// command's own options (returning false for anything it does not know).
TContourOptions ParseContourOptions(
    const std::vector<std::string>& args,
    const std::function<bool(const std::vector<std::string>&, std::size_t&)>& extra);
// The integer value of an option within bounds, or a usage error.
std::int32_t BoundedOption(const std::string& option, const std::string& text, std::int32_t min,
                           std::int32_t max);
// Opens the input, applies the selection and runs "ContourRecognition" with the coefficient
// count; returns the document's contour set.
const TContourSet& RunContourRecognition(TDocument& document, const TContourOptions& options,
                                         const std::string& input);

}  // namespace imvora::cli
