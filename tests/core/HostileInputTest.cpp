// Special files, links, long names, stopped writes, tiny files that claim huge pictures, every
// input that ever made a fuzz target fail, and the Russian texts of system errors.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/Error.h"
#include "core/ImageFile.h"
#include "fuzz/FuzzTargets.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;
using TBytes = std::vector<std::uint8_t>;

std::string ErrorOf(const std::function<void()>& work) {
  try {
    work();
  } catch (const EImvoraError& error) {
    return error.what();
  }
  return "(no error)";
}

class HostileInputTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return folder.Path(name); }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Dir))
      names.insert(entry.path().filename());
    return names;
  }
  // The command line tool with 64 MiB of address space at most and a time limit, so that a
  // blocking read fails instead of hanging; returns its error stream.
  std::string CliErrors(const std::string& arguments) const {
    EXPECT_EQ(folder.Shell("ulimit -v 65536 && timeout 20 " IMVORA_CLI_PATH " " + arguments), 1)
        << arguments;
    return folder.Text("err");
  }

  testing::TTempFolder folder;
};

TEST_F(HostileInputTest, SavingRefusesSpecialFilesFollowsLinksAndLosesNothing) {
  const TBitmap picture(2, 2);
  ASSERT_EQ(mkfifo(Path("pipe.bmp").c_str(), 0644), 0);
  fs::create_directory(Path("folder.bmp"));
  std::vector<std::pair<std::string, std::string>> refused = {{"pipe.bmp", "именованный канал"},
                                                              {"folder.bmp", "папка"}};
  if (mknod(Path("null.bmp").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    refused.push_back({"null.bmp", "устройство"});
  }
  for (const auto& [name, kind] : refused) {
    EXPECT_NE(ErrorOf([&] { WriteImageFile(Path(name), picture, {}); }).find(kind),
              std::string::npos)
        << name;
    EXPECT_FALSE(fs::is_regular_file(Path(name))) << name;
  }
  // The target is replaced whole and keeps its permissions, also when named through a link.
  const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read;
  WriteFileAtomically(Path("real.bmp"), {1, 2, 3});
  fs::permissions(Path("real.bmp"), readOnly);
  WriteFileAtomically(Path("real.bmp"), {4, 5});
  EXPECT_EQ(ReadWholeFile(Path("real.bmp")), (TBytes{4, 5}));
  fs::create_symlink("real.bmp", Path("link.bmp"));
  WriteImageFile(Path("link.bmp"), picture, {});
  EXPECT_TRUE(fs::is_symlink(Path("link.bmp")));
  EXPECT_EQ(fs::status(Path("real.bmp")).permissions(), readOnly);
  // An empty picture, and a write that fails half way as on a full disk, keep the target.
  EXPECT_THROW(WriteImageFile(Path("real.bmp"), TBitmap(), {}), EImvoraError);
  {
    testing::TFullDisk fullDisk(4096);
    EXPECT_THROW(WriteFileAtomically(Path("real.bmp"), TBytes(100000, 7)), EImvoraError);
  }
  EXPECT_TRUE(LoadImageFile(Path("real.bmp")).SamePixels(picture));

  const std::string longName = std::string(250, 'x') + ".bmp";
  WriteImageFile(Path(longName), picture, {});
  std::set<std::string> expected = {"pipe.bmp", "folder.bmp", "real.bmp", "link.bmp", longName};
  if (refused.size() == 3) expected.insert("null.bmp");
  EXPECT_EQ(Names(), expected) << "a temporary file was left behind";
}

// A folder the writer may not change keeps the old file and says why. Root may change any
// folder, so the write is made as nobody.
TEST_F(HostileInputTest, AFolderThatCannotBeWrittenKeepsTheOldFile) {
  WriteFileAtomically(Path("old.bmp"), {1, 2, 3});
  using fs::perms;
  fs::permissions(folder.Dir,
                  perms::owner_read | perms::owner_exec | perms::others_read | perms::others_exec);
  // Root writes anywhere: the write is made as nobody, where the system lets us become nobody.
  const bool root = geteuid() == 0;
  if (root && seteuid(65534) != 0) {
    fs::permissions(folder.Dir, perms::owner_all);
    GTEST_SKIP() << "cannot act as an ordinary user here";
  }
  const std::string error = ErrorOf([&] { WriteFileAtomically(Path("old.bmp"), {4}); });
  if (root) {
    ASSERT_EQ(seteuid(0), 0);
  }
  fs::permissions(folder.Dir, perms::owner_all);
  EXPECT_EQ(error, "Не удалось записать файл " + Path("old.bmp") + ": нет доступа");
  EXPECT_EQ(ReadWholeFile(Path("old.bmp")), (TBytes{1, 2, 3}));
  EXPECT_EQ(Names(), std::set<std::string>{"old.bmp"});
}

TEST_F(HostileInputTest, AStoppedWriteLeavesNoTemporaryFile) {
  const TBytes big(8 << 20, 7);
  for (int signal : {SIGTERM, SIGINT, SIGKILL}) {
    const pid_t child = fork();
    if (child == 0) {
      try {
        for (;;) WriteFileAtomically(Path("big.bmp"), big);
      } catch (...) {
      }
      _exit(1);
    }
    while (!fs::exists(Path("big.bmp"))) usleep(1000);
    usleep(30000);
    kill(child, signal);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << strsignal(signal);
    EXPECT_EQ(Names(), std::set<std::string>{"big.bmp"}) << strsignal(signal);
    fs::remove(Path("big.bmp"));
  }
}

TEST_F(HostileInputTest, CliRefusesPipesAtOnceAndTinyFilesBeforeAllocating) {
  ASSERT_EQ(mkfifo(Path("pipe.bmp").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo(Path("pipe.ivs").c_str(), 0644), 0);
  WriteImageFile(Path("in.bmp"), TBitmap(4, 4), {});
  WriteFileAtomically(Path("s.ivs"), {'I', 'n', 'v', 'e', 'r', 't', '(', 'Y', 'Y', 'Y', ')'});
  // Files of a few dozen bytes declaring 16384 x 16384; the run-length one that does end its
  // stream properly is a real picture of 768 MiB.
  const fs::path tiny = fs::path(IMVORA_SOURCE_DIR) / "fuzz" / "regressions";
  TBytes endedRle =
      ReadWholeFile(tiny / "bmp" / "rle-declares-16384-squared-stream-breaks-off.bmp");
  endedRle.insert(endedRle.end(), {0, 1});
  WriteFileAtomically(Path("ended-rle.bmp"), endedRle);
  const std::string in = " " + tiny.string() + "/", call = " 'Invert(YYY)'";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"apply pipe.bmp out.bmp" + call, "pipe.bmp: это именованный канал"},
      {"run pipe.ivs in.bmp", "pipe.ivs: это именованный канал"},
      {"run s.ivs in.bmp pipe.bmp", "pipe.bmp: это именованный канал"},
      {"alpha in.bmp pipe.bmp out.bmp", "pipe.bmp: это именованный канал"},
      {"regions pipe.bmp" + call, "pipe.bmp: это именованный канал"},
      {"apply" + in + "bmp/declares-16384-squared-without-pixels.bmp out.bmp" + call,
       "данные точек обрезаны"},
      {"apply" + in + "bmp/rle-declares-16384-squared-stream-breaks-off.bmp out.bmp" + call,
       "поток RLE обрывается"},
      {"apply" + in + "jpeg/declares-16384-squared-in-few-bytes.jpg out.bmp" + call,
       "не вмещают изображение 16384 x 16384"},
      {"apply ended-rle.bmp out.bmp" + call, "Недостаточно памяти: чтение файла"},
  };
  for (const auto& [arguments, text] : cases) {
    const std::string errors = CliErrors(arguments);
    EXPECT_NE(errors.find(text), std::string::npos) << arguments << ": " << errors;
  }
  EXPECT_FALSE(fs::exists(Path("out.bmp")));
}

// Replayed through the target that found them.
TEST(FuzzRegressionTest, EveryInputThatFoundAFaultIsHandled) {
  using TTarget = void (*)(const std::uint8_t*, std::size_t);
  const std::pair<const char*, TTarget> targets[] = {{"bmp", fuzz::FuzzBmpDecode},
                                                     {"jpeg", fuzz::FuzzJpegDecode},
                                                     {"filters", fuzz::FuzzFilterCalls},
                                                     {"script", fuzz::FuzzScriptRunner}};
  const fs::path root = fs::path(IMVORA_SOURCE_DIR) / "fuzz" / "regressions";
  for (const auto& [folder, target] : targets) {
    if (!fs::is_directory(root / folder)) continue;
    for (const auto& entry : fs::directory_iterator(root / folder)) {
      const TBytes bytes = ReadWholeFile(entry.path().string());
      EXPECT_NO_THROW(target(bytes.data(), bytes.size())) << entry.path();
    }
  }
}

TEST_F(HostileInputTest, SystemAndLibraryErrorsAreSaidInRussian) {
  const TBytes jpeg = EncodeJpeg(TBitmap(16, 16), {});
  const std::vector<std::pair<std::string, std::string>> cases = {
      {SystemErrorText(ENOSPC), "на диске нет места"},
      {SystemErrorText(EXDEV), std::string("системная ошибка (") + std::strerror(EXDEV) + ")"},
      {ErrorOf([&] { LoadImageFile(folder.Dir.string()); }),
       "Не удалось прочитать файл " + folder.Dir.string() + ": это папка, а не файл"},
      {ErrorOf([&] { WriteImageFile(Path("no/x.bmp"), TBitmap(1, 1), {}); }),
       "Не удалось записать файл " + Path("no/x.bmp") + ": папка не найдена"},
      {ErrorOf([] { DecodeJpeg(EncodeBmp(TBitmap(1, 1))); }),
       "Файл не является рисунком JPEG: это рисунок BMP"},
      {ErrorOf([&] { DecodeJpeg(TBytes(jpeg.begin(), jpeg.end() - 40)); }),
       "Файл JPEG обрывается раньше времени"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

}  // namespace
}  // namespace imvora
