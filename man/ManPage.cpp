// Builds a manual page from its template. Lines holding only a marker are replaced by the
// help texts of imvora-cli, rendered as roff, so that the manual and --help never disagree:
//   @SYNOPSIS@     the usage lines of imvora-cli and of every registered command
//   @COMMANDS@     every registered command with its full help text
//   @FILTER_CALL@  @FILTERS@  @EXIT_STATUS@  @EXAMPLES@   the sections of imvora-cli --help
// and @VERSION@ anywhere stands for the project's version.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "core/Version.h"
#include "man/RoffText.h"

namespace {

using imvora::cli::Commands;
using imvora::cli::TCliCommand;
using imvora::man::RoffEscape;
using imvora::man::RoffFromHelp;
using imvora::man::UsageLines;

std::string Synopsis() {
  std::vector<std::string> lines = UsageLines(imvora::cli::kOverviewUsage);
  for (const TCliCommand& command : Commands()) {
    for (const std::string& line : UsageLines(command.Usage)) lines.push_back(line);
  }
  std::string roff = ".nf\n";
  for (const std::string& line : lines) roff += RoffEscape(line) + "\n";
  return roff + ".fi\n";
}

std::string CommandSections() {
  std::string roff;
  for (const TCliCommand& command : Commands()) {
    roff += ".SS " + RoffEscape(command.Name) + "\n" + RoffFromHelp(command.Usage);
  }
  return roff;
}

std::string FilterList() {
  std::ostringstream list;
  imvora::cli::PrintFilterList(list);
  return imvora::man::RoffFromFilterList(list.str());
}

std::string Expand(const std::string& line) {
  if (line == "@SYNOPSIS@") return Synopsis();
  if (line == "@COMMANDS@") return CommandSections();
  if (line == "@FILTER_CALL@") return RoffFromHelp(imvora::cli::kFilterCallHelp);
  if (line == "@FILTERS@") return FilterList();
  if (line == "@EXIT_STATUS@") return RoffFromHelp(imvora::cli::kExitStatusHelp);
  if (line == "@EXAMPLES@") return RoffFromHelp(imvora::cli::kExamplesHelp);
  std::string text = line;
  const std::string marker = "@VERSION@";
  for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker)) {
    text.replace(at, marker.size(), imvora::kImvoraVersion);
  }
  return text + "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "Использование: imvora-manpage ШАБЛОН ВЫХОД\n";
    return 2;
  }
  std::ifstream in(argv[1]);
  std::string page;
  for (std::string line; std::getline(in, line);) page += Expand(line);
  std::ofstream out(argv[2], std::ios::binary);
  out << page;
  if (!in.eof() || !out.flush()) {
    std::cerr << "imvora-manpage: не удалось прочитать " << argv[1] << " или записать " << argv[2]
              << "\n";
    return 1;
  }
  return 0;
}
