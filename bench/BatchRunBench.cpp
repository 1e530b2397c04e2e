#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/BatchRunner.h"
#include "core/ImageFile.h"
#include "filters/FilterCatalog.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;

// Bitmap files only: no question reaches it.
class TBenchUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  bool ChooseSaveName(std::string&) override { return false; }
  bool AskJpegOptions(TJpegDialogResult&) override { return false; }
};

// 200 photographs' worth of 1024 x 1024 pictures: smooth shading with grain.
class TBatchFiles {
 public:
  TBatchFiles() : dir_(fs::temp_directory_path() / ("imvora-bench-" + std::to_string(getpid()))) {
    fs::create_directories(dir_);
    std::mt19937 random(1);
    TBitmap bitmap(1024, 1024);
    for (int i = 0; i < 200; ++i) {
      for (int y = 0; y < 1024; ++y) {
        std::uint8_t* p = bitmap.ScanLine(y);
        for (int x = 0; x < 3 * 1024; ++x) p[x] = (x / 12 + y / 4 + 7 * i + random() % 32) & 255;
      }
      Files.push_back((dir_ / ("picture" + std::to_string(i) + ".bmp")).string());
      WriteImageFile(Files.back(), bitmap, {});
    }
  }
  ~TBatchFiles() { fs::remove_all(dir_); }

  std::vector<std::string> Files;

 private:
  fs::path dir_;
};

// imvora-cli run -j N over the 200 files with a three-call script; the files are rewritten in
// place every iteration, which costs the same each time.
void BM_RunBatchJobs(benchmark::State& state) {
  static const TBatchFiles files;
  TBenchUi ui;
  const TDocumentFactory makeDocument = [&ui] {
    auto document = std::make_unique<TDocument>(ui);
    RegisterFilters(*document);
    return document;
  };
  const std::vector<std::string> script = {"Gauss(YYY 2 1)", "Median(YYY 1)", "Invert(YYY)"};
  for (auto _ : state) {
    const auto failures =
        RunBatchJobs(makeDocument, script, files.Files, static_cast<int>(state.range(0)), nullptr);
    if (!failures.empty()) state.SkipWithError("a file of the batch failed");
  }
  state.SetItemsProcessed(state.iterations() * std::int64_t(files.Files.size()));
}
BENCHMARK(BM_RunBatchJobs)->Arg(1)->Arg(2)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace imvora
