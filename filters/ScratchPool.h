#pragma once

#include <memory>
#include <mutex>
#include <vector>

namespace imvora {

// Working buffers a filter keeps from call to call, one set for each band running at once: a
// run over many files then reuses the same pages instead of faulting in fresh ones each call.
template <class T>
class TScratchPool {
 public:
  // One set, handed back to the pool when the lease ends.
  class TLease {
   public:
    TLease(TScratchPool& pool, std::unique_ptr<T> item) : pool_(pool), item_(std::move(item)) {}
    ~TLease() { pool_.GiveBack(std::move(item_)); }
    TLease(const TLease&) = delete;
    TLease& operator=(const TLease&) = delete;
    T& operator*() const { return *item_; }
    T* operator->() const { return item_.get(); }

   private:
    TScratchPool& pool_;
    std::unique_ptr<T> item_;
  };

  TLease Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (free_.empty()) return TLease(*this, std::make_unique<T>());
    std::unique_ptr<T> item = std::move(free_.back());
    free_.pop_back();
    return TLease(*this, std::move(item));
  }

 private:
  void GiveBack(std::unique_ptr<T> item) {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(item));
  }

  std::mutex mutex_;
  std::vector<std::unique_ptr<T>> free_;
};

}  // namespace imvora
