#include <gtest/gtest.h>

#include "core/Error.h"
#include "recognition/ContextRecognition.h"
#include "recognition/ContextTree.h"
#include "recognition/ContourImageText.h"
#include "tests/core/ContourTestUtil.h"

namespace imvora {
namespace {

using testing::Glyph;
using TLines = std::vector<std::string>;
using TCoefficients = std::vector<std::vector<double>>;

const std::vector<double> kP0 = {0, 1, 2, 3, 4}, kP1 = {0, 1, -1, 1, -1}, kFlat = {5, 1, 1, 1, 1};
const TLines kDictionary = {"1001", "1101", "11011"};

TContourSet Word(const TCoefficients& glyphs) {
  TContourSet set;
  for (const auto& g : glyphs) set.push_back(Glyph({g}));
  return set;
}

TLines Precedents(const std::string& alphabet, const TCoefficients& classes) {
  TLines lines = {alphabet};
  for (const auto& c : classes) lines.push_back(FormatContourImage(*Glyph({c})));
  return lines;
}

TEST(ContextRecognitionTest, ReadsTheWords) {
  const TLines p01 = Precedents("01", {kP0, kP1});
  // What is read, the precedents and dictionary, the glyphs, the answer and whether it is new.
  const std::tuple<const char*, TLines, TLines, TCoefficients, std::string, bool> cases[] = {
      {"prefix of a dictionary word", p01, kDictionary, {kP1, kP1, kP0}, "110", false},
      {"empty dictionary", p01, {}, {kP1, kP0}, "10", true},
      {"leaves the dictionary", p01, {"1"}, {kP1, kP1}, "11", true},
      {"no classes", {"01"}, kDictionary, {kP1, kP1, kP0}, "000", true},
      {"ties to the lower class", Precedents("ab", {kP1, kP1}), {}, {kP1}, "a", true},
      {"no glyphs", p01, {}, {}, "", false},
      {"cyrillic", Precedents("дан", {kP0, kP1}), {"да"}, {kP1, kP0}, "ад", true},
  };
  for (const auto& [name, precedents, dictionary, glyphs, answer, isNew] : cases) {
    TContourSet word = Word(glyphs);
    const std::int32_t classes = static_cast<std::int32_t>(precedents.size()) - 1;
    TLines log = {"old"};
    const TRecognitionResult result = RecognizeWord(word, precedents, classes, dictionary, log);
    EXPECT_EQ(std::pair(result.Answer, result.NewWord), std::pair(answer, isNew)) << name;
    EXPECT_EQ(log.size(), glyphs.size() * (1 + classes)) << name;
  }
  // The weights follow the dictionary's prefix counts: ln 5 and ln 2 for the first glyph, then
  // ln 3 and ln 4 after '1', then ln 4 and ln 2 after "11".
  TContourSet word = Word({kP1, kP1, kP0});
  TLines log;
  RecognizeWord(word, p01, 2, kDictionary, log);
  EXPECT_EQ(
      log,
      (TLines{"\"Вероятности\" для объекта номер 0:", "-> '0': 0.619970", "-> '1': 3.218876",
              "\"Вероятности\" для объекта номер 1:", "-> '0': 0.982629", "-> '1': 2.772589",
              "\"Вероятности\" для объекта номер 2:", "-> '0': 2.772589", "-> '1': 0.619970"}));
  const TLines twoObjects = {"01", p01[1], FormatContourImage(*Glyph({kP0, kP1}))};
  RecognizeWord(word, twoObjects, 2, {}, log);
  EXPECT_EQ(log[2], "-> '1': -inf");
  TContextTree deep({std::string(1000000, 'a')});  // freed without recursion
}

TEST(ContextRecognitionTest, ErrorsNameTheirCauseAndKeepWhatWasDone) {
  TContourSet word = Word({kP0, kFlat});
  const auto error = [&](const TLines& precedents, std::int32_t classes) {
    TLines log = {"old"};
    try {
      RecognizeWord(word, precedents, classes, {}, log);
    } catch (const EImvoraError& e) {
      return std::to_string(log.size()) + " " + e.what();
    }
    return std::string("no error");
  };
  EXPECT_EQ(error({"01", "1 1 1 1"}, 2), "0 Не заданы прецедентные данные!");
  EXPECT_NE(error(Precedents("0", {kP0, kP1}), 2).find("0 Строка 0"), std::string::npos);
  EXPECT_NE(error({""}, 0).find("0 Строка 0"), std::string::npos);
  EXPECT_NE(error({"01", "1 5 1 2 3 4 5 1 2 3 4 5", "1 5 1 2"}, 2).find("0 Строка 2"),
            std::string::npos);
  // The second glyph's coefficients are constant: the first glyph's lines and class stay.
  const std::string undefined = error(Precedents("01", {kP0, kP1}), 2);
  EXPECT_EQ(undefined.rfind("4 Объект номер 1, класс 0 ('0'): ", 0), 0u) << undefined;
  EXPECT_EQ(word[0]->ClassIndex, 0);
  EXPECT_EQ(word[1]->ClassIndex, -1);
}

}  // namespace
}  // namespace imvora
