#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "core/Document.h"
#include "core/RowBands.h"
#include "tests/core/FakeUi.h"

namespace imvora {
namespace {

// Notes the rows reported done and asks to stop once `cancelAt` are.
class TStoppingProgress : public IProgress {
 public:
  void Report(std::int64_t done, std::int64_t total) override {
    last = done;
    EXPECT_EQ(total, 1000);
    if (done >= cancelAt) throw ECancelled();
  }
  std::int64_t cancelAt = 1 << 30, last = -1;
};

TEST(RowBandsTest, EveryRowOnceOnAnyThreadCountAndACancelOrAnErrorStopsTheRun) {
  testing::TFakeUi ui;
  TDocument document(ui);
  TStoppingProgress progress;
  document.SetProgress(&progress);
  for (int threads : {1, 2, 7}) {
    SetWorkerThreads(threads);
    progress.last = -1;
    std::vector<std::atomic<int>> visits(1000);
    ForEachRowBand(1000, &document, [&](int first, int last) {
      for (int y = first; y < last; ++y) ++visits[y];
    });
    for (auto& v : visits) ASSERT_EQ(v.load(), 1);
    EXPECT_EQ(progress.last, 1000);
  }
  SetWorkerThreads(1);  // so that no other thread can finish the rows before the cancel
  progress.cancelAt = 1;
  std::atomic<int> rows{0};
  EXPECT_THROW(ForEachRowBand(1000, &document, [&](int first, int last) { rows += last - first; }),
               ECancelled);
  EXPECT_LT(rows.load(), 1000);
  EXPECT_THROW(ForEachRowBand(10, nullptr, [](int, int) { throw std::runtime_error("x"); }),
               std::runtime_error);
  SetWorkerThreads(0);
}

}  // namespace
}  // namespace imvora
