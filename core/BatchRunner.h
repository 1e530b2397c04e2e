#pragma once

#include <string>
#include <vector>

#include "core/Document.h"

namespace imvora {

// Lines of a script file read as bytes; CR LF, LF and CR all end a line. A last line without
// a terminator counts; a terminator at the very end adds no empty line after it.
std::vector<std::string> SplitScriptLines(const std::string& bytes);
// A missing or unreadable script file is an EImvoraError.
std::vector<std::string> ReadScriptFile(const std::string& name);

// Runs the lines through RunFilterCall until one names no filter; true when every line ran.
bool RunScript(TDocument& document, const std::vector<std::string>& lines);

class IBatchProgress {
 public:
  virtual ~IBatchProgress() = default;
  // File `index` (0-based) of `count` is about to be opened.
  virtual void FileStarted(int index, int count, const std::string& name) = 0;
};

// Opens each file as the document, runs the script on it and writes it back in place.
// The first error ends the batch and propagates; files finished before it stay written and
// the file being processed stays open as the document.
void RunBatch(TDocument& document, const std::vector<std::string>& lines,
              const std::vector<std::string>& files, IBatchProgress* progress);

}  // namespace imvora
