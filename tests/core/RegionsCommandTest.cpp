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

TEST(RegionsCommandTest, PrintsTheRegionsAndWritesTheLabels) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("imvora-regions-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto path = [&dir](const char* name) { return (dir / name).string(); };
  const auto read = [&](const char* name) {  // "-" for a file not written
    if (!std::filesystem::exists(path(name))) return std::string("-");
    std::stringstream text;
    text << std::ifstream(path(name)).rdbuf();
    return text.str();
  };
  // Row 0: greys 0, 10, 20, 30, 40; row 1: black, black, then red 200.
  TBitmap picture = testing::GreyRow({0, 10, 20, 30, 40});
  picture.SetHeight(2);
  for (int x = 2; x < 5; ++x) testing::SetPixel(picture, x, 1, 200, 0, 0);
  WriteImageFile(path("in.bmp"), picture, TJpegOptions());
  const std::string in = " " + path("in.bmp") + " ", labels = "--labels " + path("labels.txt");
  const std::string header =
      "label,mean_r,mean_g,mean_b,area,min_x,min_y,max_x,max_y,center_x,center_y\n";
  // Arguments, exit status, the output (or a part of the error), the label file written.
  const std::tuple<std::string, int, std::string, std::string> cases[] = {
      {labels + in + "'Markup(YYY 16 16 16)'", 0,
       header + "0,2,2,2,4,0,0,1,1,0,0\n1,25,25,25,2,2,0,3,0,2,0\n2,40,40,40,1,4,0,4,0,4,0\n"
                "3,200,0,0,3,2,1,4,1,3,1\n",
       "0 0 1 1 2\n0 0 3 3 3\n"},
      // A selection gives a map of its size.
      {"--select 1,0,3,1" + in + "'Markup(YYY 0 0 0)'", 0,
       header + "0,10,10,10,1,0,0,0,0,0,0\n1,20,20,20,1,1,0,1,0,1,0\n2,30,30,30,1,2,0,2,0,2,0\n"
                "3,0,0,0,1,0,1,0,1,0,1\n4,200,0,0,2,1,1,2,1,1,1\n",
       "-"},
      {in + "'Markup(YYY)' 'Invert(YYY)'", 1, "нет разметки", "-"},
      {labels + in + "'Blur(YYY 3)'", 1, "Blur(YYY 3)", "-"},
      {in, 2, "", "-"},
  };
  for (const auto& [arguments, status, output, labelFile] : cases) {
    std::filesystem::remove(path("labels.txt"));
    const std::string command = std::string(IMVORA_CLI_PATH) + " regions " + arguments + " >" +
                                path("out.csv") + " 2>" + path("err.txt");
    const int exit = std::system(command.c_str());
    ASSERT_EQ(WIFEXITED(exit) ? WEXITSTATUS(exit) : -1, status) << arguments << read("err.txt");
    if (status == 0) {
      EXPECT_EQ(read("out.csv"), output) << arguments;
    } else {
      EXPECT_NE(read("err.txt").find(output), std::string::npos) << arguments;
    }
    EXPECT_EQ(read("labels.txt"), labelFile) << arguments;
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace imvora
