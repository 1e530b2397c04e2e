#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "core/Error.h"
#include "core/Version.h"

using imvora::cli::Commands;
using imvora::cli::TCliCommand;

namespace {

// The full overview answers --help; after a wrong command line the sections are left out.
void PrintOverview(std::ostream& out, bool full) {
  out << imvora::cli::kOverviewUsage << "\nКоманды:\n";
  for (const TCliCommand& command : Commands()) out << "  " << command.Name << "\n";
  out << "\nimvora-cli КОМАНДА --help — подробности о команде.\n";
  if (!full) return;
  for (const char* section :
       {imvora::cli::kFilterCallHelp, imvora::cli::kExitStatusHelp, imvora::cli::kExamplesHelp}) {
    out << "\n" << section;
  }
}

const TCliCommand* FindCommand(const std::string& name) {
  for (const TCliCommand& command : Commands()) {
    if (name == command.Name) return &command;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    PrintOverview(args.empty() ? std::cerr : std::cout, !args.empty());
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "--version") {
    std::cout << "imvora-cli " << imvora::kImvoraVersion << "\n";
    return 0;
  }
  const TCliCommand* command = FindCommand(args[0]);
  if (command == nullptr) {
    std::cerr << "imvora-cli: неизвестная команда «" << args[0] << "»\n";
    PrintOverview(std::cerr, false);
    return 2;
  }
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (imvora::cli::WantsHelp(rest)) {
      std::cout << command->Usage;
      return 0;
    }
    return command->Run(rest);
  } catch (const imvora::cli::TUsageError& e) {
    std::cerr << "imvora-cli " << command->Name << ": " << e.what() << "\n" << command->Usage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "imvora-cli " << command->Name << ": " << imvora::CommandErrorText(e, true)
              << "\n";
    return 1;
  }
}
