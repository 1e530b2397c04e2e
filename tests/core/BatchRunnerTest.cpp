#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/BatchRunner.h"
#include "core/Error.h"
#include "core/Filtering.h"
#include "core/ImageFile.h"
#include "core/TextFile.h"
#include "filters/FilterCatalog.h"
#include "tests/core/FakeUi.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;
using TLines = std::vector<std::string>;
using TBytes = std::vector<std::uint8_t>;

TEST(BatchRunnerTest, SplitsEveryLineEndingConvention) {
  // A final terminator closes the last line; LF CR and CR CR LF are two terminators.
  const std::vector<std::pair<std::string, TLines>> cases = {
      {"a\r\nb\nc\rd", {"a", "b", "c", "d"}},
      {"", {}},
      {"a\n", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r", {"a"}},
      {"\n", {""}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\n\r\n", {"a", ""}},
      {"a\n\rb", {"a", "", "b"}},
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string("a\0b\n", 4), {std::string("a\0b", 3)}}};
  for (const auto& [text, lines] : cases) EXPECT_EQ(SplitLines(text), lines) << text;
}

// Notes every parameter it is given and every run.
class TNoteFilter : public TImvoraFilter {
 public:
  explicit TNoteFilter(TLines& log) : log_(log) { Name = "Note"; }
  void SetParam(std::int32_t index, std::int32_t value) override {
    log_.push_back("SetParam " + std::to_string(index) + " " + std::to_string(value));
  }
  void Apply(TBitmap*, bool, bool, bool) override {
    log_.push_back(Host->CurrentMarkup() != nullptr ? "Apply on a label map" : "Apply");
  }

 private:
  TLines& log_;
};

class TRecordingProgress : public IBatchProgress {
 public:
  void FileStarted(int index, int count, const std::string& name) override {
    Started.push_back(std::to_string(index) + "/" + std::to_string(count) + " " + name);
  }
  bool StopRequested() override { return stopAfter > 0 && Started.size() == stopAfter; }
  TLines Started;
  std::size_t stopAfter = 0;  // files begun before a stop is asked for; 0 for none
};

// Noise of the seed.
TBitmap Pattern(int width, int height, unsigned seed) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int i = 0; i < 3 * width; ++i) p[i] = (seed = seed * 1103515245u + 12345u) >> 16;
  }
  return bitmap;
}

TBitmap Negative(TBitmap bitmap) {
  InvertChannels(&bitmap, true, true, true);
  return bitmap;
}

class TBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterFilters(document_);
    document_.AddFilter(std::make_unique<TNoteFilter>(log_));
  }
  std::string Path(const std::string& name) const { return folder_.Path(name); }
  // Writes `count` small distinct bitmap files and returns their names.
  TLines MakeBmpFiles(int count) {
    TLines names;
    for (int i = 0; i < count; ++i) {
      names.push_back(Path("image" + std::to_string(i) + ".bmp"));
      originals_.push_back(Pattern(5 + i, 4, 100u + i));
      WriteImageFile(names.back(), originals_.back(), {});
    }
    return names;
  }
  bool Inverted(const std::string& file, int i) const {
    return LoadImageFile(file).SamePixels(Negative(originals_[i]));
  }

  testing::TTempFolder folder_;
  TLines log_;
  std::vector<TBitmap> originals_;
  testing::TFakeUi ui_;
  TDocument document_{ui_};
  TRecordingProgress progress_;
};

// Lines run in order with their parameters; an empty line or one naming no filter ends the
// script, and a batch still writes every file.
TEST_F(TBatchTest, AScriptEndsAtALineNamingNoFilterAndTheFilesAreStillWritten) {
  const TLines files = MakeBmpFiles(2);
  document_.OpenImageFile(files[0]);
  EXPECT_TRUE(RunScript(document_, {"Note(YYY 3 4)", "note(nyn)"}));
  EXPECT_EQ(log_, (TLines{"SetParam 0 3", "SetParam 1 4", "Apply", "SetParam 0 0", "Apply"}));
  log_.clear();
  EXPECT_FALSE(RunScript(document_, {"Note(YYY 1)", "Blur(YYY 3)", "Note(YYY 2)"}));
  EXPECT_FALSE(RunScript(document_, {"Note(YYY 1)", "", "Note(YYY 2)"}));
  EXPECT_FALSE(RunScript(document_, {"   "}));
  EXPECT_TRUE(RunScript(document_, {}));
  EXPECT_EQ(log_, (TLines{"SetParam 0 1", "Apply", "SetParam 0 1", "Apply"}));
  RunBatch(document_, {"Invert(YYY)", "", "Note(YYY 50)"}, files, nullptr);
  RunBatch(document_, {"Note(NNY 0)", "Blur(YYY 3)", "Invert(YYY)"}, files, nullptr);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Inverted(files[i], i)) << i;
  EXPECT_EQ(std::count(log_.begin(), log_.end(), "Apply"), 4);
}

TEST_F(TBatchTest, NoFileSeesTheLabelMapOfTheFileBefore) {
  RunBatch(document_, {"Note(YYY 0)", "Markup(YYY 8 8 8)"}, MakeBmpFiles(2), nullptr);
  RunScript(document_, {"Note(YYY 0)"});
  EXPECT_EQ(log_, (TLines{"SetParam 0 0", "Apply", "SetParam 0 0", "Apply", "SetParam 0 0",
                          "Apply on a label map"}));
}

// A damaged, missing or unwritable second file ends the batch: the first is written, the
// others keep their bytes (a missing one is not invented), no temporary file is left, and the
// error names the file and the count done.
TEST_F(TBatchTest, AFailingFileEndsTheBatchAfterTheFilesBeforeIt) {
  TLines files;
  for (const std::string failure : {"damaged", "missing", "full disk"}) {
    files = MakeBmpFiles(3);
    if (failure == "damaged") folder_.Write(files[1], "BM this is no bitmap");
    if (failure == "missing") fs::remove(files[1]);
    const std::string second = folder_.Text(files[1]), third = folder_.Text(files[2]);
    progress_.Started.clear();
    try {
      // The first file (118 bytes) fits on the full disk, the second (134) does not.
      const auto fullDisk =
          failure == "full disk" ? std::make_unique<testing::TFullDisk>(120) : nullptr;
      RunBatch(document_, {"Invert(YYY)"}, files, &progress_);
      ADD_FAILURE() << failure;
    } catch (const EImvoraError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(files[1] + ": ", 0), 0u) << e.what();
      EXPECT_NE(std::string(e.what()).find("(обработано 1 из 3)"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(Inverted(files[0], 0)) << failure;
    EXPECT_EQ(folder_.Text(files[1]), second) << failure;
    EXPECT_EQ(folder_.Text(files[2]), third) << failure;
    EXPECT_EQ(progress_.Started.size(), 2u) << failure;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.Dir), fs::directory_iterator()),
              failure == "missing" ? 2 : 3)
        << failure;
  }
  // The picture whose write failed stays open, changed, to be saved elsewhere.
  EXPECT_EQ(document_.FileName, files[1]);
  EXPECT_TRUE(document_.Modified);
  EXPECT_TRUE(document_.CurrentImage.SamePixels(Negative(originals_[1])));
}

// Deterministic here; the window's cancel depends on when its dialog shows.
TEST_F(TBatchTest, AStopEndsTheBatchBeforeTheNextFile) {
  const TLines files = MakeBmpFiles(3);
  const std::string third = folder_.Text(files[2]);
  progress_.stopAfter = 2;
  EXPECT_EQ(RunBatch(document_, {"Invert(YYY)"}, files, &progress_), 2);
  EXPECT_TRUE(Inverted(files[1], 1));
  EXPECT_EQ(folder_.Text(files[2]), third);
}

TEST_F(TBatchTest, RunCommandReportsProgressAndExitCodes) {
  MakeBmpFiles(3);
  folder_.Write("s.ivs", "Invert(YYY)\n");
  EXPECT_EQ(folder_.Cli("run s.ivs image0.bmp image1.bmp"), 0);
  EXPECT_EQ(folder_.Text("err"), "[1/2] image0.bmp\n[2/2] image1.bmp\n");
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Inverted(Path("image" + std::to_string(i) + ".bmp"), i));
  folder_.Write("image1.bmp", "damaged");
  EXPECT_EQ(folder_.Cli("run --jpeg-quality 70 s.ivs image0.bmp image1.bmp image2.bmp"), 1);
  const std::string errors = folder_.Text("err");
  EXPECT_NE(errors.find("[2/3] image1.bmp\nimvora-cli run: image1.bmp: "), std::string::npos)
      << errors;
  EXPECT_EQ(errors.find("[3/3]"), std::string::npos) << errors;
  const std::pair<const char*, int> usage[] = {{"run s.ivs", 2},
                                               {"run --bogus s.ivs image2.bmp", 2},
                                               {"run --jpeg-quality high s.ivs image2.bmp", 2},
                                               {"run absent.ivs image2.bmp", 1}};
  for (const auto& [arguments, status] : usage) EXPECT_EQ(folder_.Cli(arguments), status);
  EXPECT_TRUE(LoadImageFile(Path("image2.bmp")).SamePixels(originals_[2]));
}

// Fails on pictures of odd width, but only once two jobs are inside it (or after a while),
// so that two files fail at the same time.
class TMeetingFilter : public TImvoraFilter {
 public:
  explicit TMeetingFilter(std::shared_ptr<int> arrived) : arrived_(std::move(arrived)) {
    Name = "Meet";
  }
  void Apply(TBitmap* bitmap, bool, bool, bool) override {
    static std::mutex mutex;
    static std::condition_variable met;
    std::unique_lock<std::mutex> lock(mutex);
    ++*arrived_;
    met.notify_all();
    met.wait_for(lock, std::chrono::seconds(5), [this] { return *arrived_ >= 2; });
    if (bitmap->Width() % 2 != 0) throw EImvoraError("нечётная ширина");
  }

 private:
  std::shared_ptr<int> arrived_;
};

TEST_F(TBatchTest, FailuresStopNewFilesAndAreAllReported) {
  const TLines files = MakeBmpFiles(4);  // widths 5, 6, 7, 8
  const TLines order = {files[0], files[2], files[1], files[3]};
  const TBytes even = ReadWholeFile(files[1]), last = ReadWholeFile(files[3]);
  auto arrived = std::make_shared<int>(0);
  const TDocumentFactory makeDocument = [this, arrived] {
    auto document = std::make_unique<TDocument>(ui_);
    document->AddFilter(std::make_unique<TMeetingFilter>(arrived));
    return document;
  };
  const std::vector<TBatchFailure> failures =
      RunBatchJobs(makeDocument, {"Meet(YYY)"}, order, 2, &progress_);
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].File, files[0]);
  EXPECT_EQ(failures[1].File, files[2]);
  EXPECT_EQ(progress_.Started.size(), 2u);
  EXPECT_EQ(ReadWholeFile(files[1]), even);
  EXPECT_EQ(ReadWholeFile(files[3]), last);
}

TEST_F(TBatchTest, ScriptsWhoseResultsDependOnTheOrderOfTheFiles) {
  const std::vector<std::pair<TLines, std::string>> cases = {
      {{"Gauss(YYY 2 1)", "Median(YYY 1)", " gauss(YYY 2 1)"}, ""},
      {{"Invert(YYY)", "Blur(YYY)", "GaussianNoise(YYY)"}, ""},
      {{"Invert(YYY)", "gaussiannoise(YYY 0 5 5)"}, "GaussianNoise: общий датчик"},
      {{"Gauss(YYY 2 1)", "Gauss(YYY 3 1)"}, "Gauss: вызовы с разными параметрами"},
      {{"Gauss", "Gauss(YYY 2)"}, "Gauss: вызовы"},
      {{"Invert", "Invert(YYY)"}, "Invert: вызовы"},
      {{"ContourRecognition(YYY)"}, "ContourRecognition: параметры фильтров своей цепочки"}};
  for (const auto& [lines, reason] : cases) {
    const std::string found = FileOrderDependence(document_, lines, {"a.bmp", "b.bmp"});
    EXPECT_EQ(found.substr(0, reason.size()), reason) << lines[0] << " ... " << lines.back();
    EXPECT_EQ(found.empty(), reason.empty()) << found;
  }
  // The same file twice, once through a link: two jobs would both filter the original.
  const TLines files = MakeBmpFiles(2);
  fs::create_symlink(files[0], Path("link.bmp"));
  EXPECT_EQ(FileOrderDependence(document_, {"Invert(YYY)"}, {files[0], files[1], Path("link.bmp")}),
            Path("link.bmp") + ": файл назван дважды");
}

TEST_F(TBatchTest, RunWithJobsWritesTheBytesOfOneJobOrSaysWhyItCannot) {
  folder_.Write("blur.ivs", "Gauss(YYY 2 1)\nMedian(YYY 1)\nGauss(YYY 2 1)\nBox(YYY 1)\n");
  folder_.Write("noise.ivs", "Invert(YYY)\nGaussianNoise(YYY 0 30 3)\n");
  for (const std::string script : {"blur.ivs", "noise.ivs"}) {
    std::string arguments[2];  // a0.bmp ... a5.bmp and b0.bmp ... b5.bmp: the same six pictures
    for (int i = 0; i < 6; ++i) {
      for (const std::string set : {"a", "b"}) {
        arguments[set == "b"] += " " + set + std::to_string(i) + ".bmp";
        WriteImageFile(Path(set + std::to_string(i) + ".bmp"), Pattern(60 + i, 40, i), {});
      }
    }
    EXPECT_EQ(folder_.Cli("run --seed 3 " + script + arguments[0]), 0);
    EXPECT_EQ(folder_.Cli("run -j 2 --seed 3 " + script + arguments[1]), 0);
    EXPECT_EQ(folder_.Text("err").find("(GaussianNoise: общий датчик случайных чисел), файлы "
                                       "обрабатываются по одному") != std::string::npos,
              script == "noise.ivs")
        << folder_.Text("err");
    for (int i = 0; i < 6; ++i) {
      const TBytes a = ReadWholeFile(Path("a" + std::to_string(i) + ".bmp"));
      EXPECT_EQ(a, ReadWholeFile(Path("b" + std::to_string(i) + ".bmp"))) << script << i;
      EXPECT_NE(a, EncodeBmp(Pattern(60 + i, 40, i))) << script << i;
    }
  }
}

}  // namespace
}  // namespace imvora
