#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TextFile.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

// Words rendered with a real font: precedents from a rendering of the alphabet with
// `imvora-cli contours`, then `imvora-cli recognize` reads the words back.
TEST(RecognitionCommandsTest, ReadsRenderedWordsAgainstTheAlphabet) {
  testing::TTempFolder folder;
  const auto render = [&](const std::string& text, const char* name) {
    return folder.Shell(
               "convert -background white -fill black -font DejaVu-Sans -pointsize 48 "
               "label:'" +
               text + "' -type TrueColor BMP3:" + name) == 0;
  };
  // Letters of one piece; "Э" is left out, since the tracing walks down one column of it.
  const std::string alphabet = "АБВГДЕЖЗИКЛМНОПРСТУФХЦЧШЩЪЬЮЯ";
  if (!render(alphabet, "alphabet.bmp")) GTEST_SKIP() << "ImageMagick with DejaVu Sans needed";
  ASSERT_EQ(folder.Cli("contours alphabet.bmp"), 0) << folder.Text("err");
  std::vector<std::string> precedents = {alphabet};
  for (const std::string& line : SplitLines(folder.Text("out"))) {
    if (line.rfind("box ", 0) != 0) precedents.push_back(line);
  }
  ASSERT_EQ(precedents.size(), 30u);
  WriteTextLines(folder.Path("precedents.txt"), precedents);
  WriteTextLines(folder.Path("dictionary.txt"), {"ЯЩИК"});
  const std::string recognize =
      "recognize --precedents precedents.txt --dictionary dictionary.txt --classes 29 ";
  // "Я" alone looks more like "Д"; the dictionary's context decides for "ЯЩИК".
  for (const auto& [word, newWord] : {std::pair{"ЯЩИК", "no"}, {"ФУТБОЛ", "yes"}}) {
    ASSERT_TRUE(render(word, "word.bmp"));
    ASSERT_EQ(folder.Cli(recognize + "--grow-dictionary word.bmp"), 0) << folder.Text("err");
    const std::vector<std::string> out = SplitLines(folder.Text("out"));
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.front(), "\"Вероятности\" для объекта номер 0:");
    EXPECT_EQ(out[out.size() - 2] + " / " + out.back(),
              std::string("answer: ") + word + " / new word: " + newWord);
  }
  EXPECT_EQ(folder.Text("dictionary.txt"), "ЯЩИК\nФУТБОЛ\n");
  EXPECT_EQ(folder.Cli(recognize + "--classes 40 word.bmp"), 1);
  EXPECT_NE(folder.Text("err").find("Не заданы прецедентные данные!"), std::string::npos);
  EXPECT_EQ(folder.Cli(recognize + "--coefs 1 word.bmp"), 2);
}

}  // namespace
}  // namespace imvora
