#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/ImageFile.h"
#include "tests/core/SegmentationTestUtil.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

TEST(RegionsCommandTest, PrintsTheRegionsAndWritesTheLabels) {
  testing::TTempFolder folder;
  // Row 0: greys 0, 10, 20, 30, 40; row 1: black, black, then red 200.
  TBitmap picture = testing::GreyRow({0, 10, 20, 30, 40});
  picture.SetHeight(2);
  for (int x = 2; x < 5; ++x) testing::SetPixel(picture, x, 1, 200, 0, 0);
  WriteImageFile(folder.Path("in.bmp"), picture, {});
  const std::string header =
      "label,mean_r,mean_g,mean_b,area,min_x,min_y,max_x,max_y,center_x,center_y\n";
  // Arguments, exit status, the output (or a part of the error), the label file written.
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      {"--labels labels.txt in.bmp 'Markup(YYY 16 16 16)'", 0,
       header + "0,2,2,2,4,0,0,1,1,0,0\n1,25,25,25,2,2,0,3,0,2,0\n2,40,40,40,1,4,0,4,0,4,0\n"
                "3,200,0,0,3,2,1,4,1,3,1\n",
       "0 0 1 1 2\n0 0 3 3 3\n"},
      // A selection gives a map of its size.
      {"--select 1,0,3,1 in.bmp 'Markup(YYY 0 0 0)'", 0,
       header + "0,10,10,10,1,0,0,0,0,0,0\n1,20,20,20,1,1,0,1,0,1,0\n2,30,30,30,1,2,0,2,0,2,0\n"
                "3,0,0,0,1,0,1,0,1,0,1\n4,200,0,0,2,1,1,2,1,1,1\n",
       "-"},
      {"in.bmp 'Markup(YYY)' 'Invert(YYY)'", 1, "нет разметки", "-"},
      {"--labels labels.txt in.bmp 'Blur(YYY 3)'", 1, "Blur(YYY 3)", "-"},
      {"in.bmp", 2, "", "-"},
  };
  for (const auto& [arguments, status, output, labelFile] : cases) {
    std::filesystem::remove(folder.Path("labels.txt"));
    ASSERT_EQ(folder.Cli("regions " + arguments), status) << arguments << folder.Text("err");
    if (status == 0) {
      EXPECT_EQ(folder.Text("out"), output) << arguments;
    } else {
      EXPECT_NE(folder.Text("err").find(output), std::string::npos) << arguments;
    }
    EXPECT_EQ(folder.Text("labels.txt"), labelFile) << arguments;
  }
}

}  // namespace
}  // namespace imvora
