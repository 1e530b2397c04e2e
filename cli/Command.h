#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Document.h"
#include "core/Progress.h"

namespace imvora::cli {

// A wrong command line: reported with the command's usage, exit status 2.
class TUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TCliCommand {
  const char* Name;
  const char* Usage;  // full help text, printed for --help and after a usage error
  int (*Run)(const std::vector<std::string>& args);
};

// Commands register themselves from their own source files.
struct TCommandRegistrar {
  explicit TCommandRegistrar(const TCliCommand& command);
};
const std::vector<TCliCommand>& Commands();

// Sections of `imvora-cli --help`, which the manual page repeats word for word.
extern const char* const kOverviewUsage;
extern const char* const kFilterCallHelp;
extern const char* const kExitStatusHelp;
extern const char* const kExamplesHelp;
// The list of `imvora-cli filters`: script name, menu path and parameters of every filter.
void PrintFilterList(std::ostream& out);

// The document's questions answered without a person: changes are not saved on the way,
// no save name is chosen, JPEG files are written with the options of the command line, and
// no picture is drawn.
class THeadlessUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  bool ChooseSaveName(std::string&) override { return false; }
  bool AskJpegOptions(TJpegDialogResult& result) override;
  bool ShowsPicture() const override { return false; }

  TJpegOptions Jpeg;
};

// --progress: the share done of the running filter call, as one line on the error stream that
// is rewritten in place and ended when the call is done.
class TProgressLine : public IProgress {
 public:
  void Report(std::int64_t done, std::int64_t total) override;

 private:
  int shown_ = -1;  // the percentage on the line; -1 before the first
};

// Options shared by the commands that open and write images.
struct TCommonOptions {
  THeadlessUi Ui;
  bool HasSelection = false;
  int Select[4] = {0, 0, 0, 0};  // left, top, right, bottom
  bool Progress = false;
};

// Takes the option at args[i] (and its value) when it is one of --select, --seed,
// --jpeg-quality, --progressive, --progress, --threads that `allowed` lists (separated by
// blanks); returns false for anything else. --threads N sets the threads the filters run on
// (all cores unless given).
bool TakeCommonOption(const std::vector<std::string>& args, std::size_t& i, TCommonOptions& options,
                      const std::string& allowed);
// True when the arguments ask for help.
bool WantsHelp(const std::vector<std::string>& args);
// Seeds the generator from the clock unless --seed was given.
void SeedUnlessGiven(const std::vector<std::string>& args);
// Runs the filter calls on the document; an unknown call is an error naming it.
void RunCalls(TDocument& document, const std::vector<std::string>& calls);
// Registers the filters, opens `input` as the document, applies --select and runs the calls.
void OpenAndRunCalls(TDocument& document, const TCommonOptions& options, const std::string& input,
                     const std::vector<std::string>& calls);

}  // namespace imvora::cli
