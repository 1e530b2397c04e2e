#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Document.h"

namespace imvora {

// A missing or unreadable script file is an EImvoraError.
std::vector<std::string> ReadScriptFile(const std::string& name);

// Runs the lines through RunFilterCall until one names no filter; true when every line ran.
bool RunScript(TDocument& document, const std::vector<std::string>& lines);

class IBatchProgress {
 public:
  virtual ~IBatchProgress() = default;
  // File `index` (0-based) of `count` is about to be opened.
  virtual void FileStarted(int index, int count, const std::string& name) = 0;
  // True once the user asked the batch to stop: it stops before the next file, so that no
  // file is left half done.
  virtual bool StopRequested() { return false; }
};

// One file of a batch: opens it as the document, runs the script on it and writes it back in
// place. The label map the previous file left does not reach it.
void ProcessBatchFile(TDocument& document, const std::vector<std::string>& lines,
                      const std::string& file);

// Opens each file as the document, runs the script on it and writes it back in place, and
// returns how many files were processed: all of them unless a stop was requested. The first
// error ends the batch as an EImvoraError naming the file and the files done before it
// ("обработано 3 из 10"); those stay written and the file being processed stays open as the
// document.
int RunBatch(TDocument& document, const std::vector<std::string>& lines,
             const std::vector<std::string>& files, IBatchProgress* progress);

// "ФАЙЛ: сообщение (обработано 3 из 10)".
std::string BatchFailureText(const std::string& file, const std::string& message, int done,
                             int count);

// Why the results of the script over the files would depend on the order of the files (in
// Russian, naming the filter or the file), or empty when each file's result depends on that file
// alone. The document supplies the filter registry.
std::string FileOrderDependence(const TDocument& document, const std::vector<std::string>& lines,
                                const std::vector<std::string>& files);

// The number of files processed at a time for a requested number: 0 means one per core, and
// never more than kMaxBatchJobs, each of which holds a document and a thread.
constexpr int kMaxBatchJobs = 256;
int BatchJobs(int requested);

// A document with its own filter registry: every job of a parallel batch has one.
using TDocumentFactory = std::function<std::unique_ptr<TDocument>()>;

struct TBatchFailure {
  std::string File;
  std::exception_ptr Error;
};

// Processes the files with ProcessBatchFile, up to `jobs` at a time, each job on its own
// document; the filters' row threads are shared out among the jobs. With one job the files
// go in order through one document, as RunBatch takes them. A failure, or a stop requested
// through `progress`, lets the running files finish and starts no further file; every failed
// file is returned, in the order of the files.
std::vector<TBatchFailure> RunBatchJobs(const TDocumentFactory& makeDocument,
                                        const std::vector<std::string>& lines,
                                        const std::vector<std::string>& files, int jobs,
                                        IBatchProgress* progress);

}  // namespace imvora
