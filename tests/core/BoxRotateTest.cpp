#include <gtest/gtest.h>

#include <random>

#include "core/Controls.h"
#include "filters/Box.h"
#include "filters/Rotate.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::Flat;
using reference::ForBytes;
using reference::RandomBitmap;

TEST(BoxTest, FlatAreasAndIsolatedPixel) {
  TBoxFilter box;
  for (int method = 0; method < 3; ++method) {
    box.SetParam(0, method);
    TBitmap flat = Flat(4, 3, 17, 130, 250);
    box.Apply(&flat, true, true, true);
    EXPECT_TRUE(flat.SamePixels(method == 2 ? Flat(4, 3, 0, 0, 0) : Flat(4, 3, 17, 130, 250)));
  }
  box.SetParam(0, 1);
  TBitmap image = Flat(5, 5, 0, 0, 0);
  Byte(image, 2, 2, 1) = 100;
  box.Apply(&image, true, true, true);
  TBitmap expected = Flat(5, 5, 0, 0, 0);
  Byte(expected, 2, 2, 1) = 255;  // 900 limited
  EXPECT_TRUE(image.SamePixels(expected));
}

TEST(BoxTest, CornersReadMirroredNeighbours) {
  // A single bright pixel at (1, 1) counts four times in the top-left corner's window
  // (rows and columns 1, 0, 1); at (W - 1, H - 1) the edge row and column count twice.
  TBitmap image = Flat(4, 3, 0, 0, 0);
  Byte(image, 1, 1, 2) = 90;
  Byte(image, 3, 2, 2) = 45;
  TBoxFilter box;
  box.Apply(&image, true, false, false);
  EXPECT_EQ(Byte(image, 0, 0, 2), 4 * 90 / 9);
  EXPECT_EQ(Byte(image, 3, 2, 2), 4 * 45 / 9);
  TBitmap column = Flat(1, 3, 0, 0, 0);
  Byte(column, 0, 0, 0) = 27;
  box.Apply(&column, false, false, true);
  // Every column position maps to 0: row 0 reads rows 1, 0, 1 three times each.
  EXPECT_EQ(Byte(column, 0, 0, 0), 3 * 27 / 9);
  EXPECT_EQ(Byte(column, 0, 1, 0), 3 * 27 / 9);
}

// The list opens on its first item, but the kernel changes only with the method chosen.
TEST(BoxTest, KernelFollowsTheMethodNotTheListOpening) {
  TBoxFilter box;
  box.SetParam(0, 1);
  THeadlessPanel panel;
  box.CreateControls(panel);
  EXPECT_EQ(box.MethodComboBox()->ItemIndex(), 0);
  EXPECT_EQ(box.Kernel[4], 9.0);
  box.MethodComboBox()->UserSelected(2);
  EXPECT_EQ(box.Kernel[4], 0.0);
  box.SetParam(0, 0);
  EXPECT_EQ(box.Kernel[4], 1.0);
}

TEST(RotateTest, FastLoopEqualsThePerPixelFormula) {
  std::mt19937 random(61);
  const double angles[] = {0, 90, -90, 180, 270, 45, 30.5, -17.25, 1e6, 1e300};
  const double thresholds[] = {0, 0.1, 0.5, 0.7, -1};
  auto check = [](const TBitmap& input, double angle, double threshold, bool f1, bool f2) {
    TBitmap expected = input, fast = input;
    reference::Rotate(expected, angle, threshold);
    TRotateFilter rotate;
    rotate.Angle = angle;
    rotate.BlendThreshold = threshold;
    rotate.Apply(&fast, f1, f2, false);  // any flag turns the whole pixel
    ASSERT_TRUE(fast.SamePixels(expected))
        << input.Width() << "x" << input.Height() << " " << angle << " " << threshold;
  };
  for (int trial = 0; trial < 120; ++trial) {
    const int w = 1 + random() % 13, h = 1 + random() % 9;
    const double angle = angles[random() % 10], threshold = thresholds[random() % 5];
    check(RandomBitmap(random, w, h), angle, threshold, false, true);
  }
  // Tiles of a larger image.
  const TBitmap large = RandomBitmap(random, 150, 70);
  for (double angle : {33.0, -90.0}) check(large, angle, 0.1, true, true);
}

TEST(RotateTest, QuarterAndHalfTurns) {
  std::mt19937 random(62);
  const TBitmap input = RandomBitmap(random, 5, 4);
  TRotateFilter rotate;  // 90 degrees clockwise by default
  TBitmap quarter = RandomBitmap(random, 4, 4), turned = quarter;
  rotate.Apply(&turned, true, false, false);
  ForBytes(turned, [&](int x, int y, int c) {
    EXPECT_EQ(Byte(turned, x, y, c), Byte(quarter, y, std::min(4 - x, 3), c)) << x << "," << y;
  });
  TBitmap out = input;
  rotate.SetParam(0, 180);  // mirrors with clamping at the far edges
  rotate.Apply(&out, false, false, true);
  ForBytes(out, [&](int x, int y, int c) {
    EXPECT_EQ(Byte(out, x, y, c), Byte(input, std::min(5 - x, 4), std::min(4 - y, 3), c));
  });
}

}  // namespace
}  // namespace imvora
