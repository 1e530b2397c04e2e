#include "core/BatchRunner.h"

#include "core/Error.h"
#include "core/ImageFile.h"

namespace imvora {

std::vector<std::string> SplitScriptLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    lines.push_back(bytes.substr(start, i - start));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  // A terminator ends its line; it does not open a further, empty one.
  if (start < bytes.size()) lines.push_back(bytes.substr(start));
  return lines;
}

std::vector<std::string> ReadScriptFile(const std::string& name) {
  return GuardMemory("чтение скрипта " + name, [&] {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
    return SplitScriptLines(std::string(bytes.begin(), bytes.end()));
  });
}

bool RunScript(TDocument& document, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (!document.RunFilterCall(line)) return false;
  }
  return true;
}

void RunBatch(TDocument& document, const std::vector<std::string>& lines,
              const std::vector<std::string>& files, IBatchProgress* progress) {
  const int count = static_cast<int>(files.size());
  for (int i = 0; i < count; ++i) {
    if (progress != nullptr) progress->FileStarted(i, count, files[i]);
    document.OpenImageFile(files[i]);
    // A line naming no filter ends the script for this file only; the file is still written.
    RunScript(document, lines);
    // A cancelled JPEG options dialog leaves this file unwritten; the batch goes on.
    document.SaveDocument(files[i]);
  }
}

}  // namespace imvora
