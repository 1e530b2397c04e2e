#pragma once

#include <string>
#include <vector>

namespace imvora::man {

// Text made safe for roff: backslashes and dashes escaped, a leading dot or quote neutralised.
std::string RoffEscape(const std::string& text);

// A help text of imvora-cli as roff. The layout of the help texts carries their structure:
//   a line "Использование: ..." and the indented lines after it  - usage, kept as it is
//   an indented "term  description" (two or more blanks between)   - a tagged paragraph,
//                                                                    deeper lines continue it
//   any other indented line                                        - kept as it is (examples)
//   a line at the margin                                           - running text
// A first line that is only a heading (ending with ':') gives way to the section's own title;
// any other heading at the margin starts a paragraph.
std::string RoffFromHelp(const std::string& help);

// The list of `imvora-cli filters` ("Name — menu path" lines, each followed by the indented
// lines of its parameters): one tagged paragraph per filter.
std::string RoffFromFilterList(const std::string& list);

// The usage lines of a help text without the word "Использование:", continuation lines
// moved left by as much.
std::vector<std::string> UsageLines(const std::string& help);

}  // namespace imvora::man
