#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/AlphaRestore.h"
#include "core/Error.h"
#include "core/ImageFile.h"

namespace imvora {
namespace {

namespace fs = std::filesystem;
using TBgra = std::vector<int>;

// Pixels of a `width` x `height` picture: the background, then any number of x, y, blue, green,
// red groups.
TBitmap Picture(int width, int height, std::vector<int> background, std::vector<int> pixels = {}) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) bitmap.ScanLine(y)[3 * x + c] = background[c];
    }
  }
  for (std::size_t i = 0; i + 4 < pixels.size(); i += 5) {
    for (int c = 0; c < 3; ++c)
      bitmap.ScanLine(pixels[i + 1])[3 * pixels[i] + c] = pixels[i + 2 + c];
  }
  return bitmap;
}

TBgra Bgra(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.ScanLine(y) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

bool AllZero(const TBitmap& bitmap) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      if (Bgra(bitmap, x, y) != TBgra{0, 0, 0, 0}) return false;
    }
  }
  return true;
}

// Expected values were worked out independently with exact rational arithmetic that rounds
// every step to the 64-bit mantissa and each opacity to a double.
TEST(AlphaRestoreTest, BlackAndWhiteBackgrounds) {
  // (1,0): opaque, the same value over both; (2,0): opacity 127/255 of (50, 100, 200);
  // (3,0) and (3,1): only red, then only blue opaque; (1,1): opacity 2, alpha clamped.
  const TBitmap result = RestoreAlpha(
      Picture(4, 2, {0, 0, 0}, {1, 0,  30, 20, 10, 2, 0, 25, 50, 100, 3,   0,  0,
                                0, 90, 3,  1,  90, 0, 0, 1,  1,  255, 255, 255}),
      Picture(4, 2, {255, 255, 255}, {1,   0,  30, 20, 10, 2,   0,   153, 178, 228, 3, 0, 255,
                                      255, 90, 3,  1,  90, 255, 255, 1,   1,   0,   0, 0}));
  ASSERT_EQ(result.BitsPerPixel(), 32);
  EXPECT_EQ(Bgra(result, 0, 0), (TBgra{0, 0, 0, 0}));  // pure background
  EXPECT_EQ(Bgra(result, 0, 1), (TBgra{0, 0, 0, 0}));
  EXPECT_EQ(Bgra(result, 1, 0), (TBgra{30, 20, 10, 254}));  // alpha 254, not 255
  EXPECT_EQ(Bgra(result, 2, 0), (TBgra{50, 100, 200, 126}));
  EXPECT_EQ(Bgra(result, 3, 0), (TBgra{0, 0, 90, 76}));
  EXPECT_EQ(Bgra(result, 3, 1), (TBgra{90, 0, 0, 29}));
  EXPECT_EQ(Bgra(result, 1, 1), (TBgra{127, 127, 127, 255}));
}

TEST(AlphaRestoreTest, OutOfRangeSolutionsAreClampedNotWrapped) {
  // Opacity 0.1 gives colours of -900 and 1100, alpha trunc(25.5); opacity -19 gives alpha 0.
  const TBitmap result = RestoreAlpha(
      Picture(4, 1, {100, 100, 100}, {1, 0, 0, 0, 0, 2, 0, 200, 200, 200, 3, 0, 0, 0, 0}),
      Picture(4, 1, {110, 110, 110}, {1, 0, 9, 9, 9, 2, 0, 209, 209, 209, 3, 0, 200, 200, 200}));
  EXPECT_EQ(Bgra(result, 1, 0), (TBgra{0, 0, 0, 25}));
  EXPECT_EQ(Bgra(result, 2, 0), (TBgra{255, 255, 255, 25}));
  EXPECT_EQ(Bgra(result, 3, 0), (TBgra{105, 105, 105, 0}));
}

TEST(AlphaRestoreTest, OutputIsTheOverlapOfDifferentSizes) {
  const TBitmap wide = Picture(5, 2, {0, 0, 0}, {2, 1, 40, 50, 60});
  const TBitmap result = RestoreAlpha(wide, Picture(3, 4, {255, 255, 255}, {2, 1, 40, 50, 60}));
  EXPECT_EQ(result.Width(), 3);
  EXPECT_EQ(result.Height(), 2);
  EXPECT_EQ(Bgra(result, 2, 1), (TBgra{40, 50, 60, 254}));
  EXPECT_TRUE(RestoreAlpha(wide, TBitmap()).Empty());
}

TEST(AlphaRestoreTest, BackgroundsAgreeingInOneChannelGiveAllZero) {
  EXPECT_TRUE(AllZero(RestoreAlpha(Picture(3, 2, {30, 20, 10}, {1, 1, 90, 90, 90}),
                                   Picture(3, 2, {30, 200, 10}, {1, 1, 90, 90, 90}))));
  EXPECT_TRUE(AllZero(
      RestoreAlpha(Picture(3, 2, {30, 0, 0}, {2, 0, 5, 5, 5}), Picture(3, 2, {30, 255, 255}))));
}

TEST(AlphaRestoreTest, InputsInEitherOrderGiveTheSameResult) {
  TBitmap first(7, 5), second(7, 5);
  unsigned state = 12345;
  for (TBitmap* bitmap : {&first, &second}) {
    for (int y = 0; y < 5; ++y) {
      for (int i = 0; i < 21; ++i) {
        state = state * 1103515245u + 12345u;
        bitmap->ScanLine(y)[i] = static_cast<std::uint8_t>(state >> 16);
      }
    }
  }
  for (int c = 0; c < 3; ++c) first.ScanLine(0)[c] = 3, second.ScanLine(0)[c] = 250;
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
    WriteImageFile(Path("black.bmp"), Picture(3, 2, {0, 0, 0}, {2, 1, 30, 20, 10}), {});
    WriteImageFile(Path("white.bmp"), Picture(3, 2, {255, 255, 255}, {2, 1, 30, 20, 10}), {});
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  // Exit status of the command-line tool; its error stream goes to err.txt.
  int RunCli(const std::string& arguments) const {
    const std::string command = std::string(IMVORA_CLI_PATH) + " alpha " + arguments + " 2>" +
                                Path("err.txt") + " >/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Checked byte by byte: the bitmap reader would drop the alpha byte.
  void ExpectRestoredFile(const std::string& name) const {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
    ASSERT_EQ(bytes.size(), 54u + 3 * 2 * 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 2), "BM");
    EXPECT_EQ(bytes[28], 32);  // bits per pixel
    EXPECT_EQ(bytes[30], 0);   // no compression
    // Rows are stored bottom-up: pixel (2, 1) is the third pixel of the first row.
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + 62, bytes.begin() + 66),
              (std::vector<std::uint8_t>{30, 20, 10, 254}));
  }

  std::string dir_;
};

TEST_F(TAlphaFilesTest, WritesA32BitBitmapWhateverTheExtension) {
  RestoreAlphaFiles(Path("black.bmp"), Path("white.bmp"), Path("out.jpg"));
  ExpectRestoredFile(Path("out.jpg"));
  EXPECT_EQ(RunCli(Path("white.bmp") + " " + Path("black.bmp") + " " + Path("out.bmp")), 0);
  ExpectRestoredFile(Path("out.bmp"));
}

TEST_F(TAlphaFilesTest, MissingInputIsAnErrorAndWritesNothing) {
  try {
    RestoreAlphaFiles(Path("black.bmp"), Path("absent.bmp"), Path("out.bmp"));
    FAIL() << "a missing input must be an error";
  } catch (const EImvoraError& e) {
    EXPECT_NE(std::string(e.what()).find("absent.bmp"), std::string::npos) << e.what();
  }
  EXPECT_THROW(RestoreAlphaFiles(Path("absent.bmp"), Path("white.bmp"), Path("out.bmp")),
               EImvoraError);
  EXPECT_EQ(RunCli(Path("black.bmp") + " " + Path("absent.bmp") + " " + Path("out.bmp")), 1);
  const std::vector<std::uint8_t> errors = ReadWholeFile(Path("err.txt"));
  EXPECT_NE(std::string(errors.begin(), errors.end()).find("Файл не найден"), std::string::npos);
  EXPECT_FALSE(fs::exists(Path("out.bmp")));
  EXPECT_EQ(RunCli(Path("black.bmp") + " " + Path("white.bmp")), 2);
  EXPECT_EQ(RunCli("--bogus " + Path("black.bmp") + " " + Path("white.bmp") + " " + Path("x.bmp")),
            2);
  EXPECT_FALSE(fs::exists(Path("x.bmp")));
  EXPECT_EQ(RunCli("--help"), 0);
}

}  // namespace
}  // namespace imvora
