#include "core/BatchRunner.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "core/Error.h"
#include "core/ImageFile.h"
#include "core/RowBands.h"
#include "core/TextFile.h"

namespace imvora {
namespace {

bool IsControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

// The filter name of a call as RunFilterCall reads it: the text before '(' without the
// characters of code 32 or below around it.
std::string CallName(const std::string& call) {
  const std::string name = call.substr(0, call.find('('));
  const auto first = std::find_if_not(name.begin(), name.end(), IsControlOrBlank);
  const auto last = std::find_if_not(name.rbegin(), name.rend(), IsControlOrBlank).base();
  return first < last ? std::string(first, last) : std::string();
}

// Everything a call hands its filter besides the name: the text from the '(' on.
std::string CallArguments(const std::string& call) {
  const std::size_t open = call.find('(');
  return open == std::string::npos ? std::string() : call.substr(open);
}

// The first file that the list names twice, under one name or another (a link), or empty.
std::string RepeatedFile(const std::vector<std::string>& files) {
  std::set<std::pair<dev_t, ino_t>> seen;
  std::set<std::string> unreadable;
  for (const std::string& file : files) {
    struct stat status;
    const bool inserted = stat(file.c_str(), &status) == 0
                              ? seen.emplace(status.st_dev, status.st_ino).second
                              : unreadable.insert(file).second;
    if (!inserted) return file;
  }
  return {};
}

// Files are taken in order by whichever job is free; the first failure stops the taking.
class TBatchJobRun {
 public:
  TBatchJobRun(const std::vector<std::string>& lines, const std::vector<std::string>& files,
               IBatchProgress* progress)
      : lines_(lines), files_(files), progress_(progress) {}

  void Work(TDocument& document) {
    const int count = static_cast<int>(files_.size());
    for (int i = next_++; i < count && !stopped_ && !StopRequested(); i = next_++) {
      try {
        if (progress_ != nullptr) {
          std::lock_guard<std::mutex> lock(mutex_);
          progress_->FileStarted(i, count, files_[i]);
        }
        ProcessBatchFile(document, lines_, files_[i]);
      } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        failures_.emplace(i, std::current_exception());
        stopped_ = true;
      }
    }
  }

  bool StopRequested() {
    if (progress_ == nullptr) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_->StopRequested();
  }

  std::vector<TBatchFailure> Failures() const {
    std::vector<TBatchFailure> failures;
    for (const auto& [index, error] : failures_) failures.push_back({files_[index], error});
    return failures;
  }

 private:
  const std::vector<std::string>& lines_;
  const std::vector<std::string>& files_;
  IBatchProgress* const progress_;
  std::atomic<int> next_{0};
  std::atomic<bool> stopped_{false};
  std::mutex mutex_;
  std::map<int, std::exception_ptr> failures_;
};

// Shares the filters' row threads out among the jobs for as long as the batch runs.
class TRowThreadShare {
 public:
  explicit TRowThreadShare(int jobs) : jobs_(jobs), before_(WorkerThreads()) {
    if (jobs_ > 1) SetWorkerThreads(std::max(1, before_ / jobs_));
  }
  ~TRowThreadShare() {
    if (jobs_ > 1) SetWorkerThreads(before_);
  }

 private:
  const int jobs_;
  const int before_;
};

}  // namespace

std::vector<std::string> ReadScriptFile(const std::string& name) {
  return GuardMemory("чтение скрипта " + name, [&] {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
    // Script lines are read as bytes, whatever their encoding.
    return SplitLines(std::string(bytes.begin(), bytes.end()));
  });
}

bool RunScript(TDocument& document, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (!document.RunFilterCall(line)) return false;
  }
  return true;
}

void ProcessBatchFile(TDocument& document, const std::vector<std::string>& lines,
                      const std::string& file) {
  // A label map describes the picture it was made of, never the next file.
  document.SetMarkup(nullptr);
  document.OpenImageFile(file);
  // A line naming no filter ends the script for this file only; the file is still written.
  RunScript(document, lines);
  // A cancelled JPEG options dialog leaves this file unwritten; the batch goes on.
  document.SaveDocument(file);
}

int RunBatch(TDocument& document, const std::vector<std::string>& lines,
             const std::vector<std::string>& files, IBatchProgress* progress) {
  const int count = static_cast<int>(files.size());
  for (int i = 0; i < count; ++i) {
    if (progress != nullptr && progress->StopRequested()) return i;
    if (progress != nullptr) progress->FileStarted(i, count, files[i]);
    try {
      ProcessBatchFile(document, lines, files[i]);
    } catch (const std::exception& error) {
      throw EImvoraError(BatchFailureText(files[i], CommandErrorText(error, false), i, count));
    } catch (...) {
      throw EImvoraError(BatchFailureText(files[i], "Неизвестная внутренняя ошибка", i, count));
    }
  }
  return count;
}

std::string BatchFailureText(const std::string& file, const std::string& message, int done,
                             int count) {
  return file + ": " + message + " (обработано " + std::to_string(done) + " из " +
         std::to_string(count) + ")";
}

std::string FileOrderDependence(const TDocument& document, const std::vector<std::string>& lines,
                                const std::vector<std::string>& files) {
  const std::string repeated = RepeatedFile(files);
  if (!repeated.empty()) return repeated + ": файл назван дважды";
  // A filter's parameters outlive the file; a call setting other values than another call of
  // the same filter leaves them for the next file's earlier calls.
  std::map<int, std::string> arguments;
  for (const std::string& line : lines) {
    const int index = document.FindFilter(CallName(line));
    // The script ends here for every file.
    if (index < 0) break;
    const TImvoraFilter& filter = *document.Filter(index);
    const std::string state = filter.StateBetweenFiles();
    if (!state.empty()) return filter.Name + ": " + state;
    const auto [first, inserted] = arguments.emplace(index, CallArguments(line));
    if (!inserted && first->second != CallArguments(line)) {
      return filter.Name + ": вызовы с разными параметрами";
    }
  }
  return {};
}

int BatchJobs(int requested) {
  if (requested > 0) return std::min(requested, kMaxBatchJobs);
  return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxBatchJobs);
}

std::vector<TBatchFailure> RunBatchJobs(const TDocumentFactory& makeDocument,
                                        const std::vector<std::string>& lines,
                                        const std::vector<std::string>& files, int jobs,
                                        IBatchProgress* progress) {
  jobs = std::clamp(jobs, 1, std::max(1, static_cast<int>(files.size())));
  std::vector<std::unique_ptr<TDocument>> documents;
  for (int j = 0; j < jobs; ++j) documents.push_back(makeDocument());
  TBatchJobRun run(lines, files, progress);
  const TRowThreadShare share(jobs);
  std::vector<std::thread> helpers;
  for (int j = 1; j < jobs; ++j) {
    try {
      helpers.emplace_back([&run, &document = *documents[j]] { run.Work(document); });
    } catch (const std::system_error&) {
      break;  // the system gives no more threads: fewer jobs, the same results
    }
  }
  // The calling thread is the first job.
  run.Work(*documents[0]);
  for (std::thread& helper : helpers) helper.join();
  return run.Failures();
}

}  // namespace imvora
