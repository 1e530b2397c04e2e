#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/BatchRunner.h"
#include "core/Error.h"
#include "core/Filtering.h"
#include "core/ImageFile.h"
#include "filters/FilterCatalog.h"
#include "tests/core/FakeUi.h"

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
  for (const auto& [text, lines] : cases) EXPECT_EQ(SplitScriptLines(text), lines) << text;
}

// Adds its parameter 0 to the flagged channels, saturating; records every call.
class TAddFilter : public TImvoraFilter {
 public:
  explicit TAddFilter(TLines& log) : log_(log) { Name = "Add"; }
  void SetParam(std::int32_t index, std::int32_t value) override {
    log_.push_back("SetParam " + std::to_string(index) + " " + std::to_string(value));
    if (index == 0) amount_ = value;
  }
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override {
    log_.push_back(Host->CurrentMarkup() != nullptr ? "Apply on a label map" : "Apply");
    if (bitmap == nullptr) return;
    const bool flags[3] = {flag3, flag2, flag1};  // byte order blue, green, red
    for (int y = 0; y < bitmap->Height(); ++y) {
      std::uint8_t* p = bitmap->ScanLine(y);
      for (int i = 0; i < 3 * bitmap->Width(); ++i) {
        if (flags[i % 3]) p[i] = static_cast<std::uint8_t>(std::clamp(p[i] + amount_, 0, 255));
      }
    }
  }

 private:
  TLines& log_;
  int amount_ = 0;
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

// Noise, or a smooth picture that JPEG keeps close to what was written.
TBitmap Pattern(int width, int height, unsigned seed, bool smooth = false) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int i = 0; i < 3 * width; ++i) {
      seed = seed * 1103515245u + 12345u;
      p[i] =
          static_cast<std::uint8_t>(smooth ? 20 + 8 * (i / 3) + 12 * y + 30 * (i % 3) : seed >> 16);
    }
  }
  return bitmap;
}

// What a line "Add(YNN n)" after "Invert(YYY)" makes of a picture.
TBitmap InvertedPlus(TBitmap bitmap, int redAmount) {
  InvertChannels(&bitmap, true, true, true);
  for (int y = 0; y < bitmap.Height(); ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) p[3 * x + 2] = std::min(p[3 * x + 2] + redAmount, 255);
  }
  return bitmap;
}

class TBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/imvora-batch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    RegisterFilters(document_);
    document_.AddFilter(std::make_unique<TAddFilter>(log_));
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Writes `count` small distinct bitmap files and returns their names.
  TLines MakeBmpFiles(int count, const std::string& prefix = "image") {
    TLines names;
    for (int i = 0; i < count; ++i) {
      names.push_back(Path(prefix + std::to_string(i) + ".bmp"));
      originals_.push_back(Pattern(5 + i, 4, 100u + i));
      WriteImageFile(names.back(), originals_.back(), {});
    }
    return names;
  }
  void WriteText(const std::string& name, const std::string& text) const {
    std::ofstream(name, std::ios::binary) << text;
  }
  bool Inverted(const std::string& file, int i, int red = 0) const {
    return LoadImageFile(file).SamePixels(InvertedPlus(originals_[i], red));
  }
  // Exit status of the command-line tool; its error stream goes to err.txt.
  int RunCli(const std::string& arguments) const {
    const std::string command =
        std::string(IMVORA_CLI_PATH) + " " + arguments + " 2>" + Path("err.txt") + " >/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ErrorOutput() const {
    const TBytes bytes = ReadWholeFile(Path("err.txt"));
    return std::string(bytes.begin(), bytes.end());
  }

  std::string dir_;
  TLines log_;
  std::vector<TBitmap> originals_;
  testing::TFakeUi ui_;
  TDocument document_{ui_};
  TRecordingProgress progress_;
};

TEST_F(TBatchTest, ScriptRunsLineByLineAndStopsAtALineNamingNoFilter) {
  MakeBmpFiles(1);
  document_.OpenImageFile(Path("image0.bmp"));
  EXPECT_TRUE(RunScript(document_, {"Add(YYY 3 4)", "add(nyn)"}));
  EXPECT_EQ(log_, (TLines{"SetParam 0 3", "SetParam 1 4", "Apply", "SetParam 0 0", "Apply"}));
  log_.clear();
  EXPECT_FALSE(RunScript(document_, {"Add(YYY 1)", "Blur(YYY 3)", "Add(YYY 2)"}));
  EXPECT_FALSE(RunScript(document_, {"Add(YYY 1)", "", "Add(YYY 2)"}));
  EXPECT_FALSE(RunScript(document_, {"   "}));
  EXPECT_EQ(log_, (TLines{"SetParam 0 1", "Apply", "SetParam 0 1", "Apply"}));
  EXPECT_TRUE(RunScript(document_, {}));
}

TEST_F(TBatchTest, EveryFileIsFilteredAndWrittenBackInPlace) {
  const TLines files = MakeBmpFiles(3);
  RunBatch(document_, {"Invert(YYY)", "Add(YNN 7)"}, files, &progress_);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Inverted(files[i], i, 7)) << i;
  EXPECT_EQ(progress_.Started, (TLines{"0/3 " + files[0], "1/3 " + files[1], "2/3 " + files[2]}));
  // The last file stays open as a clean document.
  EXPECT_EQ(document_.FileName, files[2]);
  EXPECT_FALSE(document_.Modified);
  EXPECT_TRUE(document_.SourceImage.SamePixels(document_.CurrentImage));
}

TEST_F(TBatchTest, InvertThenGaussOverThreeFiles) {
  const TLines files = MakeBmpFiles(3);
  WriteText(Path("blur.ivs"), "Invert(YYY)\r\nGauss(YYY 2 1)\r\n");
  RunBatch(document_, ReadScriptFile(Path("blur.ivs")), files, nullptr);
  for (int i = 0; i < 3; ++i) {
    testing::TFakeUi ui;
    TDocument reference(ui);
    RegisterFilters(reference);
    reference.CurrentImage = originals_[i];
    reference.ShowBitmap(reference.CurrentImage);
    reference.SelectAll();
    ASSERT_TRUE(reference.RunFilterCall("Invert(YYY)"));
    ASSERT_TRUE(reference.RunFilterCall("Gauss(YYY 2 1)"));
    EXPECT_TRUE(LoadImageFile(files[i]).SamePixels(reference.CurrentImage)) << i;
    EXPECT_FALSE(Inverted(files[i], i)) << "the second line did not run on file " << i;
  }
}

TEST_F(TBatchTest, EmptyLineOrUnknownNameEndsTheScriptButFilesAreStillWritten) {
  const TLines files = MakeBmpFiles(2);
  RunBatch(document_, {"Invert(YYY)", "", "Add(YYY 50)"}, files, nullptr);
  RunBatch(document_, {"Add(NNY 0)", "Blur(YYY 3)", "Invert(YYY)"}, files, nullptr);
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Inverted(files[i], i)) << i;
  EXPECT_EQ(std::count(log_.begin(), log_.end(), "Apply"), 2);
}

TEST_F(TBatchTest, NoFileSeesTheLabelMapOfTheFileBefore) {
  RunBatch(document_, {"Add(YYY 0)", "Markup(YYY 8 8 8)"}, MakeBmpFiles(2), nullptr);
  RunScript(document_, {"Add(YYY 0)"});
  EXPECT_EQ(log_, (TLines{"SetParam 0 0", "Apply", "SetParam 0 0", "Apply", "SetParam 0 0",
                          "Apply on a label map"}));
}

TEST_F(TBatchTest, ScriptFileLineEndingsAllRunTheSameLines) {
  for (const std::string ending : {"\r\n", "\n", "\r"}) {
    const TLines files = MakeBmpFiles(1, "ending" + std::to_string(ending.size() + ending[0]));
    WriteText(Path("script.ivs"), "Invert(YYY)" + ending + "Add(YNN 9)" + ending);
    RunBatch(document_, ReadScriptFile(Path("script.ivs")), files, nullptr);
    EXPECT_TRUE(Inverted(files[0], static_cast<int>(originals_.size()) - 1, 9))
        << "line ending of " << ending.size() << " bytes starting with " << int(ending[0]);
  }
}

TEST_F(TBatchTest, CancelledJpegOptionsLeaveThatFileAndTheBatchGoesOn) {
  const TLines files = {Path("first.jpg"), Path("second.jpeg")};
  for (const std::string& name : files) WriteImageFile(name, Pattern(8, 8, 0, true), {});
  const TBytes firstBefore = ReadWholeFile(files[0]);
  const TBitmap secondBefore = LoadImageFile(files[1]);
  ui_.jpegCancels = 1;
  ui_.jpeg.QualityText = "90";
  RunBatch(document_, {"Invert(YYY)"}, files, nullptr);
  EXPECT_EQ(ui_.jpegDialogs, 2);
  EXPECT_EQ(ReadWholeFile(files[0]), firstBefore);
  // The second file was inverted: lossy, so compare roughly.
  const TBitmap secondAfter = LoadImageFile(files[1]);
  long long total = 0;
  for (int y = 0; y < 8; ++y) {
    for (int i = 0; i < 24; ++i) {
      total += std::abs(255 - secondBefore.ScanLine(y)[i] - secondAfter.ScanLine(y)[i]);
    }
  }
  EXPECT_LT(total / (8 * 24), 8);
}

TEST_F(TBatchTest, DamagedOrMissingFileEndsTheBatchAfterTheFilesBeforeIt) {
  TLines files = MakeBmpFiles(3);
  WriteText(files[1], "BM this is no bitmap");
  const TBytes damaged = ReadWholeFile(files[1]), third = ReadWholeFile(files[2]);
  try {
    RunBatch(document_, {"Invert(YYY)"}, files, &progress_);
    ADD_FAILURE();
  } catch (const EImvoraError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(files[1] + ": ", 0), 0u) << e.what();
    EXPECT_NE(std::string(e.what()).find("(обработано 1 из 3)"), std::string::npos);
  }
  EXPECT_TRUE(Inverted(files[0], 0));
  EXPECT_EQ(ReadWholeFile(files[1]), damaged);
  EXPECT_EQ(ReadWholeFile(files[2]), third);
  EXPECT_EQ(progress_.Started.size(), 2u);
  // Writing the previous picture under a missing name would invent a file.
  files[1] = Path("absent.bmp");
  EXPECT_THROW(RunBatch(document_, {"Invert(YYY)"}, files, nullptr), EImvoraError);
  EXPECT_FALSE(fs::exists(files[1]));
  EXPECT_EQ(ReadWholeFile(files[2]), third);
}

TEST_F(TBatchTest, FailedWriteKeepsTheOriginalBytesAndTheDocumentOpen) {
  TLines files = MakeBmpFiles(3);
  const std::string secondName = files[1];
  const TBytes original = ReadWholeFile(secondName), third = ReadWholeFile(files[2]);
  // A file size limit that the first file (118 bytes) fits and the second (134) does not: its
  // write fails half way, as on a full disk.
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit limited = saved;
  limited.rlim_cur = 120;
  const auto savedHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limited);
  EXPECT_THROW(RunBatch(document_, {"Invert(YYY)"}, files, nullptr), EImvoraError);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, savedHandler);
  EXPECT_TRUE(Inverted(files[0], 0));
  EXPECT_EQ(ReadWholeFile(secondName), original);
  EXPECT_EQ(ReadWholeFile(files[2]), third);
  EXPECT_EQ(document_.FileName, secondName);
  EXPECT_TRUE(document_.Modified);
  EXPECT_TRUE(document_.CurrentImage.SamePixels(InvertedPlus(originals_[1], 0)));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3)
      << "a temporary file was left behind";
}

TEST_F(TBatchTest, RunCommandReportsProgressAndExitCodes) {
  const TLines files = MakeBmpFiles(3);
  WriteText(Path("s.ivs"), "Invert(YYY)\n");
  EXPECT_EQ(RunCli("run " + Path("s.ivs") + " " + files[0] + " " + files[1]), 0);
  EXPECT_EQ(ErrorOutput(), "[1/2] " + files[0] + "\n[2/2] " + files[1] + "\n");
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Inverted(files[i], i)) << i;

  WriteText(files[1], "damaged");
  const TBytes third = ReadWholeFile(files[2]);
  EXPECT_EQ(RunCli("run --jpeg-quality 70 " + Path("s.ivs") + " " + files[0] + " " + files[1] +
                   " " + files[2]),
            1);
  const std::string errors = ErrorOutput();
  EXPECT_NE(errors.find("[2/3] " + files[1]), std::string::npos) << errors;
  EXPECT_EQ(errors.find("[3/3]"), std::string::npos) << errors;
  EXPECT_NE(errors.find("imvora-cli run: " + files[1] + ": "), std::string::npos) << errors;
  EXPECT_TRUE(LoadImageFile(files[0]).SamePixels(originals_[0])) << "inverted twice";
  EXPECT_EQ(ReadWholeFile(files[2]), third);

  EXPECT_EQ(RunCli("run " + Path("s.ivs")), 2);
  EXPECT_EQ(RunCli("run --bogus " + Path("s.ivs") + " " + files[2]), 2);
  EXPECT_EQ(RunCli("run --jpeg-quality high " + Path("s.ivs") + " " + files[2]), 2);
  EXPECT_EQ(RunCli("run " + Path("absent.ivs") + " " + files[2]), 1);
  EXPECT_EQ(ReadWholeFile(files[2]), third);
  EXPECT_EQ(RunCli("run --help"), 0);
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
  WriteText(Path("blur.ivs"), "Gauss(YYY 2 1)\nMedian(YYY 1)\nGauss(YYY 2 1)\nBox(YYY 1)\n");
  WriteText(Path("noise.ivs"), "Invert(YYY)\nGaussianNoise(YYY 0 30 3)\n");
  for (const std::string script : {"blur.ivs", "noise.ivs"}) {
    std::string arguments[2];
    for (const std::string set : {"a", "b"}) {
      for (int i = 0; i < 6; ++i) {
        arguments[set == "b"] += " " + Path(set + std::to_string(i) + ".bmp");
        WriteImageFile(Path(set + std::to_string(i) + ".bmp"), Pattern(60 + i, 40, i), {});
      }
    }
    EXPECT_EQ(RunCli("run --seed 3 " + Path(script) + arguments[0]), 0);
    EXPECT_EQ(RunCli("run -j 2 --seed 3 " + Path(script) + arguments[1]), 0);
    const bool ordered = script == "noise.ivs";
    EXPECT_EQ(ErrorOutput().find("(GaussianNoise: общий датчик случайных чисел), файлы "
                                 "обрабатываются по одному") != std::string::npos,
              ordered)
        << ErrorOutput();
    for (int i = 0; i < 6; ++i) {
      const TBytes a = ReadWholeFile(Path("a" + std::to_string(i) + ".bmp"));
      EXPECT_EQ(a, ReadWholeFile(Path("b" + std::to_string(i) + ".bmp"))) << script << i;
      EXPECT_NE(a, EncodeBmp(Pattern(60 + i, 40, i))) << script << i;
    }
  }
}

TEST_F(TBatchTest, AStopEndsTheBatchBeforeTheNextFile) {
  const TLines files = MakeBmpFiles(3);
  const TBytes third = ReadWholeFile(files[2]);
  progress_.stopAfter = 2;
  EXPECT_EQ(RunBatch(document_, {"Invert(YYY)"}, files, &progress_), 2);
  EXPECT_TRUE(Inverted(files[1], 1));
  EXPECT_EQ(ReadWholeFile(files[2]), third);
}

}  // namespace
}  // namespace imvora
