#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/TextFile.h"

namespace imvora {
namespace {

// Words rendered with a real font: precedents from a rendering of the alphabet with
// `imvora-cli contours`, then `imvora-cli recognize` reads the words back.
TEST(RecognitionCommandsTest, ReadsRenderedWordsAgainstTheAlphabet) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("imvora-kzr-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const auto path = [&](const char* name) { return (dir / name).string(); };
  const auto read = [&](const char* name) {
    std::stringstream text;
    text << std::ifstream(path(name)).rdbuf();
    return text.str();
  };
  const auto shell = [&](const std::string& command) {
    const int status = std::system((command + " >" + path("out") + " 2>" + path("err")).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  const auto render = [&](const std::string& text, const char* name) {
    return shell("convert -background white -fill black -font DejaVu-Sans -pointsize 48 label:'" +
                 text + "' -type TrueColor BMP3:" + path(name)) == 0;
  };
  const std::string cli = IMVORA_CLI_PATH;
  // Letters of one piece; "Э" is left out, since the tracing walks down one column of it.
  const std::string alphabet = "АБВГДЕЖЗИКЛМНОПРСТУФХЦЧШЩЪЬЮЯ";
  if (!render(alphabet, "alphabet.bmp")) GTEST_SKIP() << "ImageMagick with DejaVu Sans needed";
  ASSERT_EQ(shell(cli + " contours " + path("alphabet.bmp")), 0) << read("err");
  std::vector<std::string> precedents = {alphabet};
  for (const std::string& line : SplitLines(read("out"))) {
    if (line.rfind("box ", 0) != 0) precedents.push_back(line);
  }
  ASSERT_EQ(precedents.size(), 30u);
  WriteTextLines(path("precedents.txt"), precedents);
  WriteTextLines(path("dictionary.txt"), {"ЯЩИК"});
  const std::string recognize = cli + " recognize --precedents " + path("precedents.txt") +
                                " --dictionary " + path("dictionary.txt") + " --classes 29 ";
  // "Я" alone looks more like "Д"; the dictionary's context decides for "ЯЩИК".
  for (const auto& [word, newWord] : {std::pair{"ЯЩИК", "no"}, {"ФУТБОЛ", "yes"}}) {
    ASSERT_TRUE(render(word, "word.bmp"));
    ASSERT_EQ(shell(recognize + "--grow-dictionary " + path("word.bmp")), 0) << read("err");
    const std::vector<std::string> out = SplitLines(read("out"));
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.front(), "\"Вероятности\" для объекта номер 0:");
    EXPECT_EQ(out[out.size() - 2] + " / " + out.back(),
              std::string("answer: ") + word + " / new word: " + newWord);
  }
  EXPECT_EQ(read("dictionary.txt"), "ЯЩИК\nФУТБОЛ\n");
  EXPECT_EQ(shell(recognize + "--classes 40 " + path("word.bmp")), 1);
  EXPECT_NE(read("err").find("Не заданы прецедентные данные!"), std::string::npos);
  EXPECT_EQ(shell(recognize + "--coefs 1 " + path("word.bmp")), 2);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace imvora
