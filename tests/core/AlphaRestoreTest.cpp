#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/AlphaRestore.h"
#include "core/ImageFile.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

using TBgra = std::vector<int>;

// A `width` x `height` picture of the background with one pixel at (x, y); blue, green, red.
TBitmap Picture(int width, int height, const TBgra& background, int x, int y, const TBgra& pixel) {
  TBitmap bitmap(width, height);
  for (int i = 0; i < width * height; ++i) {
    const TBgra& colour = i == y * width + x ? pixel : background;
    std::copy_n(colour.begin(), 3, bitmap.ScanLine(i / width) + 3 * (i % width));
  }
  return bitmap;
}

TBgra Bgra(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* p = bitmap.ScanLine(y) + 4 * x;
  return {p[0], p[1], p[2], p[3]};
}

// Expected values were worked out independently with exact rational arithmetic that rounds
// every step to the 64-bit mantissa and each opacity to a double.
TEST(AlphaRestoreTest, PixelsOverTwoBackgrounds) {
  // Backgrounds, one pixel over each (blue, green, red), the pixel restored (blue, green, red,
  // alpha); the backgrounds themselves always restore to nothing.
  const TBgra black = {0, 0, 0}, white = {255, 255, 255};
  const std::tuple<TBgra, TBgra, TBgra, TBgra, TBgra> cases[] = {
      {black, white, {30, 20, 10}, {30, 20, 10}, {30, 20, 10, 254}},        // alpha 254, not 255
      {black, white, {25, 50, 100}, {153, 178, 228}, {50, 100, 200, 126}},  // 127/255
      {black, white, {0, 0, 90}, {255, 255, 90}, {0, 0, 90, 76}},           // only red opaque
      {black, white, {90, 0, 0}, {90, 255, 255}, {90, 0, 0, 29}},           // only blue
      {black, white, white, black, {127, 127, 127, 255}},  // opacity 2, alpha clamped
      // Opacity 0.1 gives colours of -900 and 1100, alpha trunc(25.5); opacity -19 gives 0.
      {{100, 100, 100}, {110, 110, 110}, black, {9, 9, 9}, {0, 0, 0, 25}},
      {{100, 100, 100}, {110, 110, 110}, {200, 200, 200}, {209, 209, 209}, {255, 255, 255, 25}},
      {{100, 100, 100}, {110, 110, 110}, black, {200, 200, 200}, {105, 105, 105, 0}},
      // Backgrounds agreeing in one channel give all zero.
      {{30, 20, 10}, {30, 200, 10}, {90, 90, 90}, {90, 90, 90}, {0, 0, 0, 0}},
      {{30, 0, 0}, {30, 255, 255}, {5, 5, 5}, {30, 255, 255}, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const auto& [background1, background2, pixel1, pixel2, restored] = c;
    const TBitmap result = RestoreAlpha(Picture(2, 1, background1, 1, 0, pixel1),
                                        Picture(2, 1, background2, 1, 0, pixel2));
    ASSERT_EQ(result.BitsPerPixel(), 32);
    EXPECT_EQ(Bgra(result, 0, 0), (TBgra{0, 0, 0, 0})) << &c - cases;
    EXPECT_EQ(Bgra(result, 1, 0), restored) << &c - cases;
  }
}

TEST(AlphaRestoreTest, OutputIsTheOverlapOfDifferentSizes) {
  const TBitmap wide = Picture(5, 2, {0, 0, 0}, 2, 1, {40, 50, 60});
  const TBitmap result = RestoreAlpha(wide, Picture(3, 4, {255, 255, 255}, 2, 1, {40, 50, 60}));
  EXPECT_EQ(std::make_pair(result.Width(), result.Height()), std::make_pair(3, 2));
  EXPECT_EQ(Bgra(result, 2, 1), (TBgra{40, 50, 60, 254}));
  EXPECT_TRUE(RestoreAlpha(wide, TBitmap()).Empty());
}

TEST(AlphaRestoreTest, InputsInEitherOrderGiveTheSameResult) {
  TBitmap first(7, 5), second(7, 5);
  unsigned state = 12345;
  for (TBitmap* bitmap : {&first, &second}) {
    for (int y = 0; y < 5; ++y) {
      for (int i = 0; i < 21; ++i)
        bitmap->ScanLine(y)[i] = (state = state * 1103515245u + 12345u) >> 16;
    }
  }
  for (int c = 0; c < 3; ++c) first.ScanLine(0)[c] = 3, second.ScanLine(0)[c] = 250;
  const TBitmap forward = RestoreAlpha(first, second);
  EXPECT_TRUE(forward.SamePixels(RestoreAlpha(second, first)));
  EXPECT_FALSE(forward.SamePixels(TBitmap(7, 5, 32)));
}

TEST(AlphaRestoreFilesTest, WriteA32BitBitmapWhateverTheExtensionOrNothing) {
  testing::TTempFolder folder;
  WriteImageFile(folder.Path("black.bmp"), Picture(3, 2, {0, 0, 0}, 2, 1, {30, 20, 10}), {});
  WriteImageFile(folder.Path("white.bmp"), Picture(3, 2, {255, 255, 255}, 2, 1, {30, 20, 10}), {});
  for (const std::string out : {"out.jpg", "out.bmp"}) {
    ASSERT_EQ(folder.Cli("alpha white.bmp black.bmp " + out), 0) << folder.Text("err");
    // Checked byte by byte: the bitmap reader would drop the alpha byte. Rows are stored
    // bottom-up: pixel (2, 1) is the third pixel of the first row.
    const std::vector<std::uint8_t> b = ReadWholeFile(folder.Path(out));
    ASSERT_EQ(b.size(), 54u + 3 * 2 * 4) << out;
    EXPECT_EQ(std::vector<int>({b[0], b[1], b[28], b[30], b[62], b[63], b[64], b[65]}),
              (std::vector<int>{'B', 'M', 32, 0, 30, 20, 10, 254}))
        << out;
  }
  // A missing input is said by name and writes nothing.
  const std::pair<const char*, int> cases[] = {{"black.bmp absent x.bmp", 1},
                                               {"black.bmp white.bmp", 2},
                                               {"--bogus black.bmp white.bmp x.bmp", 2}};
  for (const auto& [arguments, status] : cases) {
    EXPECT_EQ(folder.Cli(std::string("alpha ") + arguments), status) << arguments;
    EXPECT_EQ(folder.Text("x.bmp"), "-") << arguments;
    EXPECT_EQ(folder.Text("err").find("Файл не найден: absent") != std::string::npos, status == 1);
  }
}

}  // namespace
}  // namespace imvora
