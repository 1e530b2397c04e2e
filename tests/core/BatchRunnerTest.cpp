#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/BatchRunner.h"
#include "core/Error.h"
#include "core/Filtering.h"
#include "core/ImageFile.h"
#include "filters/FilterCatalog.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;
using TLines = std::vector<std::string>;

TEST(BatchRunnerTest, SplitsEveryLineEndingConvention) {
  EXPECT_EQ(SplitScriptLines("a\r\nb\nc\rd"), (TLines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitScriptLines("a"), (TLines{"a"}));
  EXPECT_EQ(SplitScriptLines(""), TLines{});
  // A final terminator closes the last line without opening an empty one.
  EXPECT_EQ(SplitScriptLines("a\n"), (TLines{"a"}));
  EXPECT_EQ(SplitScriptLines("a\r\n"), (TLines{"a"}));
  EXPECT_EQ(SplitScriptLines("a\r"), (TLines{"a"}));
  // Empty lines in between, and at the end after a terminated line, are kept.
  EXPECT_EQ(SplitScriptLines("\n"), (TLines{""}));
  EXPECT_EQ(SplitScriptLines("a\n\nb"), (TLines{"a", "", "b"}));
  EXPECT_EQ(SplitScriptLines("a\r\n\r\n"), (TLines{"a", ""}));
  // LF CR is two terminators, CR CR LF too.
  EXPECT_EQ(SplitScriptLines("a\n\rb"), (TLines{"a", "", "b"}));
  EXPECT_EQ(SplitScriptLines("a\r\r\nb"), (TLines{"a", "", "b"}));
  EXPECT_EQ(SplitScriptLines(std::string("a\0b\n", 4)), (TLines{std::string("a\0b", 3)}));
}

// Adds its parameter 0 to the flagged channels, saturating; records every call.
class TAddFilter : public TImvoraFilter {
 public:
  explicit TAddFilter(std::vector<std::string>& log) : log_(log) { Name = "Add"; }
  void SetParam(std::int32_t index, std::int32_t value) override {
    log_.push_back("SetParam " + std::to_string(index) + " " + std::to_string(value));
    if (index == 0) amount_ = value;
  }
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override {
    log_.push_back("Apply");
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
  std::vector<std::string>& log_;
  int amount_ = 0;
};

// Answers the JPEG options dialog from a queue: an empty entry stands for "Отмена".
class TScriptedUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  bool ChooseSaveName(std::string&) override { return false; }
  bool AskJpegOptions(TJpegDialogResult& result) override {
    ++JpegQuestions;
    if (JpegAnswers.empty() || JpegAnswers.front().empty()) {
      if (!JpegAnswers.empty()) JpegAnswers.pop_front();
      return false;
    }
    result.QualityText = JpegAnswers.front();
    JpegAnswers.pop_front();
    return true;
  }

  std::deque<std::string> JpegAnswers;
  int JpegQuestions = 0;
};

class TRecordingProgress : public IBatchProgress {
 public:
  void FileStarted(int index, int count, const std::string& name) override {
    Started.push_back(std::to_string(index) + "/" + std::to_string(count) + " " + name);
  }
  std::vector<std::string> Started;
};

TBitmap Pattern(int width, int height, unsigned seed) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int i = 0; i < 3 * width; ++i) {
      seed = seed * 1103515245u + 12345u;
      p[i] = static_cast<std::uint8_t>(seed >> 16);
    }
  }
  return bitmap;
}

// JPEG keeps a smooth picture close to what was written.
TBitmap Gradient(int width, int height) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      p[3 * x] = static_cast<std::uint8_t>(20 + 10 * x);
      p[3 * x + 1] = static_cast<std::uint8_t>(40 + 12 * y);
      p[3 * x + 2] = static_cast<std::uint8_t>(200 - 5 * (x + y));
    }
  }
  return bitmap;
}

// What a line "Add(RGB n)" after "Invert(YYY)" makes of a picture, channel by channel.
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
  std::vector<std::string> MakeBmpFiles(int count, const std::string& prefix = "image") {
    std::vector<std::string> names;
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
  static std::vector<std::uint8_t> Bytes(const std::string& name) { return ReadWholeFile(name); }

  std::string dir_;
  std::vector<std::string> log_;
  std::vector<TBitmap> originals_;
  TScriptedUi ui_;
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
  EXPECT_EQ(log_, (TLines{"SetParam 0 1", "Apply"}));
  log_.clear();
  EXPECT_FALSE(RunScript(document_, {"Add(YYY 1)", "", "Add(YYY 2)"}));
  EXPECT_FALSE(RunScript(document_, {"   "}));
  EXPECT_EQ(log_, (TLines{"SetParam 0 1", "Apply"}));
  EXPECT_TRUE(RunScript(document_, {}));
}

TEST_F(TBatchTest, EveryFileIsFilteredAndWrittenBackInPlace) {
  const std::vector<std::string> files = MakeBmpFiles(3);
  RunBatch(document_, {"Invert(YYY)", "Add(YNN 7)"}, files, &progress_);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(LoadImageFile(files[i]).SamePixels(InvertedPlus(originals_[i], 7))) << i;
  }
  EXPECT_EQ(progress_.Started, (TLines{"0/3 " + files[0], "1/3 " + files[1], "2/3 " + files[2]}));
  // The last file stays open as a clean document.
  EXPECT_EQ(document_.FileName, files[2]);
  EXPECT_FALSE(document_.Modified);
  EXPECT_TRUE(document_.SourceImage.SamePixels(document_.CurrentImage));
}

TEST_F(TBatchTest, InvertThenGaussOverThreeFiles) {
  if (document_.FindFilter("Gauss") < 0) GTEST_SKIP() << "the Gauss filter is not registered";
  const std::vector<std::string> files = MakeBmpFiles(3);
  const std::string script = Path("blur.ivs");
  WriteText(script, "Invert(YYY)\r\nGauss(YYY 2 1)\r\n");
  RunBatch(document_, ReadScriptFile(script), files, nullptr);
  for (int i = 0; i < 3; ++i) {
    TBitmap inverted = originals_[i];
    InvertChannels(&inverted, true, true, true);
    TScriptedUi ui;
    TDocument reference(ui);
    RegisterFilters(reference);
    reference.CurrentImage = originals_[i];
    reference.ShowBitmap(reference.CurrentImage);
    reference.SelectAll();
    ASSERT_TRUE(reference.RunFilterCall("Invert(YYY)"));
    ASSERT_TRUE(reference.RunFilterCall("Gauss(YYY 2 1)"));
    const TBitmap written = LoadImageFile(files[i]);
    EXPECT_TRUE(written.SamePixels(reference.CurrentImage)) << i;
    EXPECT_FALSE(written.SamePixels(inverted)) << "the second line did not run on file " << i;
  }
}

TEST_F(TBatchTest, EmptyLineEndsTheScriptButFilesAreStillWritten) {
  const std::vector<std::string> files = MakeBmpFiles(2);
  RunBatch(document_, {"Invert(YYY)", "", "Add(YYY 50)"}, files, nullptr);
  RunBatch(document_, {"Add(NNY 0)", "Blur(YYY 3)", "Invert(YYY)"}, files, nullptr);
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(LoadImageFile(files[i]).SamePixels(InvertedPlus(originals_[i], 0))) << i;
  }
  EXPECT_EQ(std::count(log_.begin(), log_.end(), "Apply"), 2);
}

TEST_F(TBatchTest, ScriptFileLineEndingsAllRunTheSameLines) {
  for (const std::string ending : {"\r\n", "\n", "\r"}) {
    const std::vector<std::string> files =
        MakeBmpFiles(1, "ending" + std::to_string(ending.size()) + std::to_string(ending[0]));
    const std::string script = Path("script.ivs");
    WriteText(script, "Invert(YYY)" + ending + "Add(YNN 9)" + ending);
    RunBatch(document_, ReadScriptFile(script), files, nullptr);
    EXPECT_TRUE(LoadImageFile(files[0]).SamePixels(InvertedPlus(originals_.back(), 9)))
        << "line ending of " << ending.size() << " bytes starting with " << int(ending[0]);
  }
}

TEST_F(TBatchTest, MissingScriptFileIsAnError) {
  try {
    ReadScriptFile(Path("absent.ivs"));
    FAIL() << "a missing script must be an error";
  } catch (const EImvoraError& e) {
    EXPECT_NE(std::string(e.what()).find("Файл не найден"), std::string::npos) << e.what();
  }
}

TEST_F(TBatchTest, CancelledJpegOptionsLeaveThatFileAndTheBatchGoesOn) {
  const std::vector<std::string> files = {Path("first.jpg"), Path("second.jpeg")};
  for (const std::string& name : files) WriteImageFile(name, Gradient(8, 8), {});
  const std::vector<std::uint8_t> firstBefore = Bytes(files[0]);
  const TBitmap secondBefore = LoadImageFile(files[1]);
  ui_.JpegAnswers = {"", "90"};
  RunBatch(document_, {"Invert(YYY)"}, files, nullptr);
  EXPECT_EQ(ui_.JpegQuestions, 2);
  EXPECT_EQ(Bytes(files[0]), firstBefore);
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

TEST_F(TBatchTest, DamagedFileEndsTheBatchAfterTheFilesBeforeIt) {
  std::vector<std::string> files = MakeBmpFiles(3);
  WriteText(files[1], "BM this is no bitmap");
  const std::vector<std::uint8_t> damaged = Bytes(files[1]);
  const std::vector<std::uint8_t> third = Bytes(files[2]);
  EXPECT_THROW(RunBatch(document_, {"Invert(YYY)"}, files, &progress_), EImvoraError);
  EXPECT_TRUE(LoadImageFile(files[0]).SamePixels(InvertedPlus(originals_[0], 0)));
  EXPECT_EQ(Bytes(files[1]), damaged);
  EXPECT_EQ(Bytes(files[2]), third);
  EXPECT_EQ(progress_.Started.size(), 2u);
}

TEST_F(TBatchTest, MissingFileEndsTheBatchAndCreatesNothing) {
  std::vector<std::string> files = MakeBmpFiles(2);
  const std::vector<std::uint8_t> second = Bytes(files[1]);
  files.insert(files.begin() + 1, Path("absent.bmp"));
  EXPECT_THROW(RunBatch(document_, {"Invert(YYY)"}, files, nullptr), EImvoraError);
  // Writing the previous picture under the missing name would invent a file.
  EXPECT_FALSE(fs::exists(Path("absent.bmp")));
  EXPECT_EQ(Bytes(files[2]), second);
}

TEST_F(TBatchTest, FailedWriteKeepsTheOriginalBytesAndTheDocumentOpen) {
  std::vector<std::string> files = MakeBmpFiles(3);
  // A name so long that no temporary file fits beside it: the write fails before the rename.
  const std::string longName = Path(std::string(250, 'x') + ".bmp");
  fs::rename(files[1], longName);
  files[1] = longName;
  const std::vector<std::uint8_t> original = Bytes(longName);
  const std::vector<std::uint8_t> third = Bytes(files[2]);
  EXPECT_THROW(RunBatch(document_, {"Invert(YYY)"}, files, nullptr), EImvoraError);
  EXPECT_TRUE(LoadImageFile(files[0]).SamePixels(InvertedPlus(originals_[0], 0)));
  EXPECT_EQ(Bytes(longName), original);
  EXPECT_EQ(Bytes(files[2]), third);
  EXPECT_EQ(document_.FileName, longName);
  EXPECT_TRUE(document_.Modified);
  EXPECT_TRUE(document_.CurrentImage.SamePixels(InvertedPlus(originals_[1], 0)));
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_)) ++entries;
  EXPECT_EQ(entries, 3) << "a temporary file was left behind";
}

class TRunCommandTest : public TBatchTest {
 protected:
  int RunCli(const std::string& arguments) const {
    const std::string command =
        std::string(IMVORA_CLI_PATH) + " " + arguments + " 2>" + Path("err.txt") + " >/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ErrorOutput() const {
    const std::vector<std::uint8_t> bytes = Bytes(Path("err.txt"));
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(TRunCommandTest, RunsTheScriptOverEveryFile) {
  const std::vector<std::string> files = MakeBmpFiles(2);
  WriteText(Path("s.ivs"), "Invert(YYY)\n");
  EXPECT_EQ(RunCli("run " + Path("s.ivs") + " " + files[0] + " " + files[1]), 0);
  EXPECT_EQ(ErrorOutput(), "[1/2] " + files[0] + "\n[2/2] " + files[1] + "\n");
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(LoadImageFile(files[i]).SamePixels(InvertedPlus(originals_[i], 0))) << i;
  }
}

TEST_F(TRunCommandTest, FailingFileExitsOneAndKeepsEarlierFilesWritten) {
  const std::vector<std::string> files = MakeBmpFiles(3);
  WriteText(files[1], "damaged");
  const std::vector<std::uint8_t> third = Bytes(files[2]);
  WriteText(Path("s.ivs"), "Invert(YYY)");
  EXPECT_EQ(RunCli("run --jpeg-quality 70 " + Path("s.ivs") + " " + files[0] + " " + files[1] +
                   " " + files[2]),
            1);
  const std::string errors = ErrorOutput();
  EXPECT_NE(errors.find("[2/3] " + files[1]), std::string::npos) << errors;
  EXPECT_EQ(errors.find("[3/3]"), std::string::npos) << errors;
  EXPECT_NE(errors.find("imvora-cli run: "), std::string::npos) << errors;
  EXPECT_TRUE(LoadImageFile(files[0]).SamePixels(InvertedPlus(originals_[0], 0)));
  EXPECT_EQ(Bytes(files[2]), third);
}

TEST_F(TRunCommandTest, UsageErrorsExitTwo) {
  const std::vector<std::string> files = MakeBmpFiles(1);
  const std::vector<std::uint8_t> before = Bytes(files[0]);
  WriteText(Path("s.ivs"), "Invert(YYY)");
  EXPECT_EQ(RunCli("run " + Path("s.ivs")), 2);
  EXPECT_EQ(RunCli("run --bogus " + Path("s.ivs") + " " + files[0]), 2);
  EXPECT_EQ(RunCli("run --jpeg-quality high " + Path("s.ivs") + " " + files[0]), 2);
  EXPECT_EQ(RunCli("run " + Path("absent.ivs") + " " + files[0]), 1);
  EXPECT_EQ(Bytes(files[0]), before);
  EXPECT_EQ(RunCli("run --help"), 0);
}

}  // namespace
}  // namespace imvora
