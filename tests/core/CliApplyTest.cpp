#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/ImageFile.h"

namespace imvora {
namespace {

class CliApplyTest : public ::testing::Test {
 protected:
  CliApplyTest()
      : dir(std::filesystem::temp_directory_path() / ("imvora-cli-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(dir);
    TBitmap picture(6, 4);
    for (int y = 0; y < 4; ++y) {
      for (int i = 0; i < 18; ++i) picture.ScanLine(y)[i] = static_cast<std::uint8_t>(y * 40 + i);
    }
    input = picture;
    WriteImageFile(Path("in.bmp"), picture, TJpegOptions());
  }
  ~CliApplyTest() override { std::filesystem::remove_all(dir); }

  std::string Path(const std::string& name) const { return (dir / name).string(); }

  // Runs imvora-cli with the arguments (already quoted) and returns its exit status.
  int Cli(const std::string& arguments) const {
    const std::string command =
        std::string(IMVORA_CLI_PATH) + " " + arguments + " >/dev/null 2>" + Path("stderr.txt");
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::filesystem::path dir;
  TBitmap input;
};

TEST_F(CliApplyTest, InvertWritesTheNegative) {
  ASSERT_EQ(Cli("apply --threads 3 " + Path("in.bmp") + " " + Path("out.bmp") + " 'Invert(YYY)'"),
            0);
  const TBitmap out = LoadImageFile(Path("out.bmp"));
  TBitmap expected = input;
  for (int y = 0; y < 4; ++y) {
    for (int i = 0; i < 18; ++i) expected.ScanLine(y)[i] ^= 0xFF;
  }
  EXPECT_TRUE(out.SamePixels(expected));
}

TEST_F(CliApplyTest, SelectRestrictsTheFilter) {
  ASSERT_EQ(
      Cli("apply --select 4,3,1,1 " + Path("in.bmp") + " " + Path("out.bmp") + " 'Invert(YNN)'"),
      0);
  const TBitmap out = LoadImageFile(Path("out.bmp"));
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x <= 4 && y >= 1 && y <= 3;
      for (int c = 0; c < 3; ++c) {
        const std::uint8_t original = input.ScanLine(y)[3 * x + c];
        const std::uint8_t wanted = inside && c == 2 ? 255 - original : original;
        EXPECT_EQ(out.ScanLine(y)[3 * x + c], wanted) << x << "," << y << " byte " << c;
      }
    }
  }
}

TEST_F(CliApplyTest, JpegOutputByExtension) {
  ASSERT_EQ(Cli("apply --jpeg-quality 300 --progressive " + Path("in.bmp") + " " + Path("out.jpg") +
                " 'Invert(YYY)'"),
            0);
  EXPECT_EQ(LoadImageFile(Path("out.jpg")).Width(), 6);
}

TEST_F(CliApplyTest, ErrorsWriteNothing) {
  EXPECT_EQ(Cli("apply " + Path("in.bmp") + " " + Path("out.bmp") + " 'Invert(YYY)' 'Blur(YYY 3)'"),
            1);
  EXPECT_FALSE(std::filesystem::exists(Path("out.bmp")));
  EXPECT_EQ(Cli("apply " + Path("missing.bmp") + " " + Path("out.bmp") + " 'Invert(YYY)'"), 1);
  EXPECT_FALSE(std::filesystem::exists(Path("out.bmp")));
  EXPECT_EQ(
      Cli("apply " + Path("in.bmp") + " " + Path("out.jpg") + " --jpeg-quality x 'Invert(YYY)'"),
      2);
  EXPECT_EQ(Cli("apply " + Path("in.bmp")), 2);
  EXPECT_EQ(Cli("apply --threads 0 " + Path("in.bmp") + " " + Path("out.bmp") + " 'Invert(YYY)'"),
            2);
  EXPECT_EQ(Cli("no-such-command"), 2);
  EXPECT_EQ(Cli("apply --help"), 0);
  EXPECT_EQ(Cli("filters"), 0);
}

// The share done goes to the error stream and changes nothing in the result.
TEST_F(CliApplyTest, ProgressShowsTheShareAndChangesNoByte) {
  const std::string calls = " 'GaussianNoise(YYY 100 20 3)' 'kMeans(YYY 3 0)'";
  ASSERT_EQ(Cli("apply --seed 5 " + Path("in.bmp") + " " + Path("plain.bmp") + calls), 0);
  ASSERT_EQ(Cli("apply --seed 5 --progress " + Path("in.bmp") + " " + Path("shown.bmp") + calls),
            0);
  EXPECT_EQ(ReadWholeFile(Path("plain.bmp")), ReadWholeFile(Path("shown.bmp")));
  const std::vector<std::uint8_t> err = ReadWholeFile(Path("stderr.txt"));
  const std::string shown(err.begin(), err.end());
  EXPECT_NE(shown.find("выполнено 100 %\n"), std::string::npos) << shown;
}

}  // namespace
}  // namespace imvora
