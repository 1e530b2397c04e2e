#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/AlphaRestore.h"
#include "core/Error.h"
#include "core/ImageFile.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;

struct TBgr {
  int Blue, Green, Red;
};

void Put(TBitmap& bitmap, int x, int y, TBgr colour) {
  std::uint8_t* p = bitmap.ScanLine(y) + x * bitmap.BytesPerPixel();
  p[0] = static_cast<std::uint8_t>(colour.Blue);
  p[1] = static_cast<std::uint8_t>(colour.Green);
  p[2] = static_cast<std::uint8_t>(colour.Red);
}

TBitmap Filled(int width, int height, TBgr colour) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Put(bitmap, x, y, colour);
  }
  return bitmap;
}

// Blue, green, red, alpha of an output pixel.
std::vector<int> Bgra(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.ScanLine(y) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

bool AllZero(const TBitmap& bitmap) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (Bgra(bitmap, x, y) != std::vector<int>{0, 0, 0, 0}) return false;
    }
  }
  return true;
}

// Expected values below were worked out independently with exact rational arithmetic that
// rounds every step to the 64-bit mantissa and each opacity to a double.
TEST(AlphaRestoreTest, BlackAndWhiteBackgrounds) {
  TBitmap overBlack = Filled(4, 2, {0, 0, 0});
  TBitmap overWhite = Filled(4, 2, {255, 255, 255});
  // Opaque: the same value over both backgrounds keeps its colour; alpha 254, not 255.
  Put(overBlack, 1, 0, {30, 20, 10});
  Put(overWhite, 1, 0, {30, 20, 10});
  // Opacity 127/255 in every channel of the colour (50, 100, 200).
  Put(overBlack, 2, 0, {25, 50, 100});
  Put(overWhite, 2, 0, {153, 178, 228});
  // Only the red channel opaque, then only the blue one: the red weight 0.299, the blue 0.114.
  Put(overBlack, 3, 0, {0, 0, 90});
  Put(overWhite, 3, 0, {255, 255, 90});
  Put(overBlack, 3, 1, {90, 0, 0});
  Put(overWhite, 3, 1, {90, 255, 255});
  // Opacity 2 in every channel: alpha clamped to 255.
  Put(overBlack, 1, 1, {255, 255, 255});
  Put(overWhite, 1, 1, {0, 0, 0});

  const TBitmap result = RestoreAlpha(overBlack, overWhite);
  ASSERT_EQ(result.BitsPerPixel(), 32);
  EXPECT_EQ(Bgra(result, 0, 0), (std::vector<int>{0, 0, 0, 0}));  // pure background
  EXPECT_EQ(Bgra(result, 0, 1), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(Bgra(result, 1, 0), (std::vector<int>{30, 20, 10, 254}));
  EXPECT_EQ(Bgra(result, 2, 0), (std::vector<int>{50, 100, 200, 126}));
  EXPECT_EQ(Bgra(result, 3, 0), (std::vector<int>{0, 0, 90, 76}));
  EXPECT_EQ(Bgra(result, 3, 1), (std::vector<int>{90, 0, 0, 29}));
  EXPECT_EQ(Bgra(result, 1, 1), (std::vector<int>{127, 127, 127, 255}));
}

TEST(AlphaRestoreTest, OutOfRangeSolutionsAreClampedNotWrapped) {
  TBitmap first = Filled(4, 1, {100, 100, 100});
  TBitmap second = Filled(4, 1, {110, 110, 110});
  // Opacity 0.1 gives colours of -900 and 1100, clamped to 0 and 255; alpha trunc(25.5).
  Put(first, 1, 0, {0, 0, 0});
  Put(second, 1, 0, {9, 9, 9});
  Put(first, 2, 0, {200, 200, 200});
  Put(second, 2, 0, {209, 209, 209});
  // Opacity -19: colour 105, a negative alpha becomes 0.
  Put(first, 3, 0, {0, 0, 0});
  Put(second, 3, 0, {200, 200, 200});
  const TBitmap result = RestoreAlpha(first, second);
  EXPECT_EQ(Bgra(result, 1, 0), (std::vector<int>{0, 0, 0, 25}));
  EXPECT_EQ(Bgra(result, 2, 0), (std::vector<int>{255, 255, 255, 25}));
  EXPECT_EQ(Bgra(result, 3, 0), (std::vector<int>{105, 105, 105, 0}));
}

TEST(AlphaRestoreTest, OutputIsTheOverlapOfDifferentSizes) {
  TBitmap wide = Filled(5, 2, {0, 0, 0});
  TBitmap tall = Filled(3, 4, {255, 255, 255});
  Put(wide, 2, 1, {40, 50, 60});
  Put(tall, 2, 1, {40, 50, 60});
  const TBitmap result = RestoreAlpha(wide, tall);
  EXPECT_EQ(result.Width(), 3);
  EXPECT_EQ(result.Height(), 2);
  EXPECT_EQ(Bgra(result, 2, 1), (std::vector<int>{40, 50, 60, 254}));
  EXPECT_TRUE(RestoreAlpha(wide, TBitmap()).Empty());
}

TEST(AlphaRestoreTest, BackgroundsAgreeingInOneChannelGiveAllZero) {
  // Red, green, blue (10, 20, 30) against (10, 200, 30): red and blue agree.
  TBitmap first = Filled(3, 2, {30, 20, 10});
  TBitmap second = Filled(3, 2, {30, 200, 10});
  Put(first, 1, 1, {90, 90, 90});
  Put(second, 1, 1, {90, 90, 90});
  EXPECT_TRUE(AllZero(RestoreAlpha(first, second)));
  // Only the blue channel agrees.
  TBitmap blueAgrees = Filled(3, 2, {30, 0, 0});
  TBitmap blueAgreesToo = Filled(3, 2, {30, 255, 255});
  Put(blueAgrees, 2, 0, {5, 5, 5});
  EXPECT_TRUE(AllZero(RestoreAlpha(blueAgrees, blueAgreesToo)));
}

TEST(AlphaRestoreTest, InputsInEitherOrderGiveTheSameResult) {
  TBitmap first(7, 5);
  TBitmap second(7, 5);
  unsigned state = 12345;
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 7; ++x) {
      state = state * 1103515245u + 12345u;
      Put(first, x, y, {int(state >> 8) & 255, int(state >> 16) & 255, int(state >> 24) & 255});
      state = state * 1103515245u + 12345u;
      Put(second, x, y, {int(state >> 8) & 255, int(state >> 16) & 255, int(state >> 24) & 255});
    }
  }
  Put(first, 0, 0, {3, 7, 11});
  Put(second, 0, 0, {250, 240, 230});
  const TBitmap forward = RestoreAlpha(first, second);
  EXPECT_TRUE(forward.SamePixels(RestoreAlpha(second, first)));
  EXPECT_FALSE(AllZero(forward));
}

class TAlphaFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/imvora-alpha-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    TBitmap overBlack = Filled(3, 2, {0, 0, 0});
    TBitmap overWhite = Filled(3, 2, {255, 255, 255});
    Put(overBlack, 2, 1, {30, 20, 10});
    Put(overWhite, 2, 1, {30, 20, 10});
    WriteImageFile(Path("black.bmp"), overBlack, {});
    WriteImageFile(Path("white.bmp"), overWhite, {});
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Exit status of the command-line tool; its error stream goes to err.txt.
  int RunCli(const std::string& arguments) const {
    const std::string command =
        std::string(IMVORA_CLI_PATH) + " " + arguments + " 2>" + Path("err.txt") + " >/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string ErrorOutput() const {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(Path("err.txt"));
    return std::string(bytes.begin(), bytes.end());
  }

  // The 32-bit file is checked byte by byte: the bitmap reader would drop the alpha byte.
  void ExpectRestoredFile(const std::string& name) const {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
    ASSERT_EQ(bytes.size(), 54u + 3 * 2 * 4);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(bytes[28], 32);  // bits per pixel
    EXPECT_EQ(bytes[30], 0);   // no compression
    // Rows are stored bottom-up: pixel (2, 1) is the third pixel of the first row.
    const std::size_t pixel = 54 + 2 * 4;
    EXPECT_EQ(
        (std::vector<int>{bytes[pixel], bytes[pixel + 1], bytes[pixel + 2], bytes[pixel + 3]}),
        (std::vector<int>{30, 20, 10, 254}));
  }

  std::string dir_;
};

TEST_F(TAlphaFilesTest, WritesA32BitBitmapWhateverTheExtension) {
  RestoreAlphaFiles(Path("black.bmp"), Path("white.bmp"), Path("out.jpg"));
  ExpectRestoredFile(Path("out.jpg"));
}

TEST_F(TAlphaFilesTest, MissingInputIsAnErrorAndWritesNothing) {
  try {
    RestoreAlphaFiles(Path("black.bmp"), Path("absent.bmp"), Path("out.bmp"));
    FAIL() << "a missing input must be an error";
  } catch (const EImvoraError& e) {
    EXPECT_NE(std::string(e.what()).find("absent.bmp"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(fs::exists(Path("out.bmp")));
  EXPECT_THROW(RestoreAlphaFiles(Path("absent.bmp"), Path("white.bmp"), Path("out.bmp")),
               EImvoraError);
  EXPECT_FALSE(fs::exists(Path("out.bmp")));
}

TEST_F(TAlphaFilesTest, CommandLineHappyPath) {
  EXPECT_EQ(RunCli("alpha " + Path("white.bmp") + " " + Path("black.bmp") + " " + Path("out.bmp")),
            0);
  ExpectRestoredFile(Path("out.bmp"));
}

TEST_F(TAlphaFilesTest, CommandLineErrors) {
  EXPECT_EQ(RunCli("alpha " + Path("black.bmp") + " " + Path("absent.bmp") + " " + Path("out.bmp")),
            1);
  EXPECT_NE(ErrorOutput().find("Файл не найден"), std::string::npos) << ErrorOutput();
  EXPECT_FALSE(fs::exists(Path("out.bmp")));
  EXPECT_EQ(RunCli("alpha " + Path("black.bmp") + " " + Path("white.bmp")), 2);
  EXPECT_EQ(
      RunCli("alpha --bogus " + Path("black.bmp") + " " + Path("white.bmp") + " " + Path("x.bmp")),
      2);
  EXPECT_FALSE(fs::exists(Path("x.bmp")));
  EXPECT_EQ(RunCli("alpha --help"), 0);
}

}  // namespace
}  // namespace imvora
