#include <gtest/gtest.h>

#include <string>

#include "tests/core/FilterReference.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

using testing::GreyRow;
using testing::PixelAt;
using testing::TColour;

// Row 0 as 0 for black, 1 for white, ? for any other colour.
std::string Pattern(const TBitmap& image) {
  std::string pattern;
  for (int x = 0; x < image.Width(); ++x) {
    const TColour pixel = PixelAt(image, x, 0);
    pattern += pixel == TColour{0, 0, 0} ? '0' : pixel == TColour{255, 255, 255} ? '1' : '?';
  }
  return pattern;
}

TBitmap Ramp() {
  TBitmap ramp(256, 1);
  reference::ForBytes(ramp, [&](int x, int, int c) { reference::Byte(ramp, x, 0, c) = x; });
  return ramp;
}

// The ramp with its `n` brightest pixels white.
std::string Brightest(int n) {
  return std::string(256 - n, '0') + std::string(n, '1');
}

// The calls run one after the other on one filter, so that a call that must not change a
// setting shows the setting of the call before.
TEST(BinarizeTest, ThresholdsByCall) {
  TBitmap colours(2, 1);
  testing::SetPixel(colours, 0, 0, 255, 0, 0);               // pure red, L = 76.245
  testing::SetPixel(colours, 1, 0, 0, 255, 255);             // L = 178.755
  const TBitmap five = GreyRow({10, 200, 50, 10, 90, 130});  // levels 9, 49, 89, 129, 199
  const std::tuple<const char*, TBitmap, std::string> calls[] = {
      // A given threshold compares the extended luminance: a grey of level v lies just below v.
      {"Binarize(YYY 0 128)", colours, "01"},
      {"Binarize(YYY 0 128)", GreyRow({127, 128, 129, 255}), "0011"},
      {"Binarize(YYY 0 255)", GreyRow({0, 254, 255}), "000"},
      {"Binarize(YYY 0 0)", GreyRow({0, 255}), "11"},
      {"Binarize(YYY 0 1)", GreyRow({0, 255}), "01"},
      {"Binarize(YYY 0 -7)", GreyRow({0, 255}), "11"},
      {"Binarize(YYY 0 100000)", GreyRow({255}), "0"},
      {"Binarize(YYY 0 50)", GreyRow({40, 60, 128}), "011"},
      {"Binarize(YYY 128)", GreyRow({40, 60, 128}), "011"},  // method 128 ignored, 50 kept
      // A rank threshold counts the occupied levels.
      {"Binarize(YYY 1 0)", five, "111111"},
      {"Binarize(YYY 1 1)", five, "111111"},
      {"Binarize(YYY 1 2)", five, "011011"},
      {"Binarize(YYY 1 100)", five, "010000"},
      {"Binarize(YYY -1 2)", five, "011011"},  // method -1 ignored
      // A quantile threshold splits by share.
      {"Binarize(YYY 2 64)", Ramp(), Brightest(64)},
      {"Binarize(YYY 2 128)", Ramp(), Brightest(128)},
      {"Binarize(YYY 2 0)", Ramp(), Brightest(0)},
      {"Binarize(YYY 2 256)", Ramp(), Brightest(256)},
      {"Binarize(YYY 2 1000)", Ramp(), Brightest(256)},
      {"Binarize(YYY 3 1)", Ramp(), Brightest(1)},  // method 3 ignored
  };
  reference::TFilterDocument d;
  for (const auto& [call, input, white] : calls) {
    ASSERT_TRUE(d.Show(input).Run(call));
    EXPECT_EQ(Pattern(d.Image()), white) << call;
  }
}

}  // namespace
}  // namespace imvora
