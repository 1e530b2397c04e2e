#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "core/ImageFile.h"
#include "tests/core/SegmentationTestUtil.h"

namespace imvora {
namespace {

class RegionsCommandTest : public ::testing::Test {
 protected:
  RegionsCommandTest()
      : dir(std::filesystem::temp_directory_path() /
            ("imvora-regions-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(dir);
    // Row 0: greys 0, 10, 20, 30, 40; row 1: black, black, then red 200.
    TBitmap picture = testing::GreyRow({0, 10, 20, 30, 40});
    picture.SetHeight(2);
    for (int x = 2; x < 5; ++x) testing::SetPixel(picture, x, 1, 200, 0, 0);
    WriteImageFile(Path("in.bmp"), picture, TJpegOptions());
  }
  ~RegionsCommandTest() override { std::filesystem::remove_all(dir); }

  std::string Path(const std::string& name) const { return (dir / name).string(); }

  int Cli(const std::string& arguments) const {
    const std::string command = std::string(IMVORA_CLI_PATH) + " regions " + arguments + " >" +
                                Path("out.csv") + " 2>" + Path("err.txt");
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir;
};

const char* const kHeader =
    "label,mean_r,mean_g,mean_b,area,min_x,min_y,max_x,max_y,center_x,center_y\n";

TEST_F(RegionsCommandTest, PrintsTheRegionsAndWritesTheLabels) {
  ASSERT_EQ(
      Cli("--labels " + Path("labels.txt") + " " + Path("in.bmp") + " 'Markup(YYY 16 16 16)'"), 0)
      << Read("err.txt");
  EXPECT_EQ(Read("out.csv"), std::string(kHeader) +
                                 "0,2,2,2,4,0,0,1,1,0,0\n"
                                 "1,25,25,25,2,2,0,3,0,2,0\n"
                                 "2,40,40,40,1,4,0,4,0,4,0\n"
                                 "3,200,0,0,3,2,1,4,1,3,1\n");
  EXPECT_EQ(Read("labels.txt"), "0 0 1 1 2\n0 0 3 3 3\n");
}

TEST_F(RegionsCommandTest, SelectionGivesAMapOfItsSize) {
  ASSERT_EQ(Cli("--select 1,0,3,1 " + Path("in.bmp") + " 'Markup(YYY 0 0 0)'"), 0);
  EXPECT_EQ(Read("out.csv"), std::string(kHeader) +
                                 "0,10,10,10,1,0,0,0,0,0,0\n"
                                 "1,20,20,20,1,1,0,1,0,1,0\n"
                                 "2,30,30,30,1,2,0,2,0,2,0\n"
                                 "3,0,0,0,1,0,1,0,1,0,1\n"
                                 "4,200,0,0,2,1,1,2,1,1,1\n");
}

TEST_F(RegionsCommandTest, NoMapOrUnknownCallFails) {
  EXPECT_EQ(Cli(Path("in.bmp") + " 'Markup(YYY)' 'Invert(YYY)'"), 1);
  EXPECT_NE(Read("err.txt").find("нет разметки"), std::string::npos);
  EXPECT_EQ(Cli("--labels " + Path("labels.txt") + " " + Path("in.bmp") + " 'Blur(YYY 3)'"), 1);
  EXPECT_NE(Read("err.txt").find("Blur(YYY 3)"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Path("labels.txt")));
  EXPECT_EQ(Cli(Path("in.bmp")), 2);
}

}  // namespace
}  // namespace imvora
