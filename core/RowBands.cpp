#include "core/RowBands.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace imvora {
namespace {

std::atomic<int> gWorkerThreads{0};

// Enough bands for smooth progress and balanced threads, few enough to keep the overhead low.
constexpr int kBandsPerRun = 64;

class TBandRun {
 public:
  TBandRun(int rows, const std::function<void(int, int)>& work)
      : rows_(rows),
        bandRows_(std::max(1, (rows + kBandsPerRun - 1) / kBandsPerRun)),
        work_(work) {}

  // Runs bands until none is left or the run stops; false once it has stopped.
  bool RunBand() {
    if (stop_.load()) return false;
    const int first = nextRow_.fetch_add(bandRows_);
    if (first >= rows_) return false;
    const int last = std::min(rows_, first + bandRows_);
    try {
      work_(first, last);
    } catch (...) {
      Fail(std::current_exception());
      return false;
    }
    done_.fetch_add(last - first);
    return true;
  }
  void Fail(std::exception_ptr error) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!error_) error_ = error;
    stop_.store(true);
  }
  int Bands() const { return (rows_ + bandRows_ - 1) / bandRows_; }
  std::int64_t Done() const { return done_.load(); }
  void RethrowFailure() {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  const int rows_;
  const int bandRows_;
  const std::function<void(int, int)>& work_;
  std::atomic<int> nextRow_{0};
  std::atomic<std::int64_t> done_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::exception_ptr error_;
};

}  // namespace

void SetWorkerThreads(int threads) {
  gWorkerThreads.store(std::max(0, threads));
}

int WorkerThreads() {
  const int set = gWorkerThreads.load();
  if (set > 0) return set;
  return std::max(1u, std::thread::hardware_concurrency());
}

void ForEachRowBand(int rows, IFilterHost* host, const std::function<void(int, int)>& work) {
  if (rows <= 0) return;
  TBandRun run(rows, work);
  const int helpers = std::min(WorkerThreads(), run.Bands()) - 1;
  std::vector<std::thread> threads;
  for (int i = 0; i < helpers; ++i) {
    threads.emplace_back([&run] {
      while (run.RunBand()) {
      }
    });
  }
  // The calling thread works too, and alone talks to the host.
  while (run.RunBand()) {
    if (host == nullptr) continue;
    try {
      host->ReportProgress(run.Done(), rows);
    } catch (...) {
      run.Fail(std::current_exception());
    }
  }
  for (std::thread& thread : threads) thread.join();
  run.RethrowFailure();
  if (host != nullptr) host->ReportProgress(rows, rows);
}

}  // namespace imvora
