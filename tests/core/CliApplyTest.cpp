#include <gtest/gtest.h>

#include <string>

#include "core/ImageFile.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

class CliApplyTest : public ::testing::Test {
 protected:
  CliApplyTest() {
    for (int y = 0; y < 4; ++y) {
      for (int i = 0; i < 18; ++i) input.ScanLine(y)[i] = static_cast<std::uint8_t>(y * 40 + i);
    }
    WriteImageFile(folder.Path("in.bmp"), input, {});
  }

  testing::TTempFolder folder;
  TBitmap input{6, 4};
};

// Only the red bytes inside the selection change, however many threads share the rows; the
// share done goes to the error stream.
TEST_F(CliApplyTest, InvertsTheChosenChannelsInsideTheSelection) {
  ASSERT_EQ(
      folder.Cli("apply --threads 3 --progress --select 4,3,1,1 in.bmp out.bmp 'Invert(YNN)'"), 0);
  EXPECT_NE(folder.Text("err").find("выполнено 100 %\n"), std::string::npos) << folder.Text("err");
  TBitmap expected = input;
  for (int y = 1; y <= 3; ++y) {
    for (int x = 1; x <= 4; ++x) expected.ScanLine(y)[3 * x + 2] ^= 0xFF;
  }
  EXPECT_TRUE(LoadImageFile(folder.Path("out.bmp")).SamePixels(expected));
}

TEST_F(CliApplyTest, ExitStatusesAndErrorsWriteNothing) {
  const std::pair<const char*, int> cases[] = {
      {"apply in.bmp out.bmp 'Invert(YYY)' 'Blur(YYY 3)'", 1},
      {"apply missing.bmp out.bmp 'Invert(YYY)'", 1},
      {"apply in.bmp out.bmp --jpeg-quality x 'Invert(YYY)'", 2},
      {"apply in.bmp", 2},
      {"apply --threads 0 in.bmp out.bmp 'Invert(YYY)'", 2},
      {"no-such-command", 2},
      {"filters", 0},
      // The extension chooses JPEG; the quality is clamped.
      {"apply --jpeg-quality 300 --progressive in.bmp out.jpg 'Invert(YYY)'", 0},
  };
  for (const auto& [arguments, status] : cases) {
    EXPECT_EQ(folder.Cli(arguments), status) << arguments;
    EXPECT_EQ(folder.Text("out.bmp"), "-") << arguments;
  }
  EXPECT_EQ(LoadImageFile(folder.Path("out.jpg")).Width(), 6);
}

}  // namespace
}  // namespace imvora
