#include "recognition/ContextRecognition.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>

#include "core/Error.h"
#include "core/TextFile.h"
#include "recognition/Approx.h"
#include "recognition/ContextTree.h"
#include "recognition/ContourImageText.h"

namespace imvora {
namespace {

using TPrecedents = std::vector<std::unique_ptr<TCRContourImage>>;

void CheckAlphabet(const std::u32string& alphabet, std::int32_t classCount, bool glyphsToRead) {
  const std::size_t needed = std::max<std::size_t>(classCount, glyphsToRead ? 1 : 0);
  if (alphabet.size() >= needed) return;
  throw EImvoraError("Строка 0 прецедентных данных задаёт " + std::to_string(alphabet.size()) +
                     " симв., а нужно " + std::to_string(needed) + ": по символу на класс");
}

TPrecedents ParsePrecedents(const std::vector<std::string>& lines, std::int32_t classCount) {
  TPrecedents precedents;
  for (std::int32_t c = 0; c < classCount; ++c) {
    try {
      precedents.push_back(ParseContourImage(lines[c + 1]));
    } catch (const EImvoraError& error) {
      throw EImvoraError("Строка " + std::to_string(c + 1) + " прецедентных данных (класс " +
                         std::to_string(c) +
                         ") не является полным описанием контуров: " + error.what());
    }
  }
  return precedents;
}

double Similarity(const TCRContourImage& glyph, const TCRContourImage& precedent, std::size_t n,
                  std::int32_t c, char32_t symbol) {
  try {
    return ContourSimilarity(glyph, &precedent);
  } catch (const EImvoraError& error) {
    throw EImvoraError("Объект номер " + std::to_string(n) + ", класс " + std::to_string(c) +
                       " ('" + CodePointToUtf8(symbol) + "'): " + error.what());
  }
}

std::string ScoreLine(char32_t symbol, double score) {
  return "-> '" + CodePointToUtf8(symbol) + "': " + FormatScore(score);
}

}  // namespace

std::string FormatScore(double score) {
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, score, std::chars_format::fixed, 6);
  return std::string(buffer, result.ptr);
}

TRecognitionResult RecognizeWord(const TContourSet& glyphs,
                                 const std::vector<std::string>& precedentLines,
                                 std::int32_t classCount,
                                 const std::vector<std::string>& dictionaryLines,
                                 std::vector<std::string>& log) {
  log.clear();
  if (classCount < 0 || precedentLines.size() < static_cast<std::size_t>(classCount) + 1) {
    throw EImvoraError("Не заданы прецедентные данные!");
  }
  const std::u32string alphabet = Utf8ToCodePoints(precedentLines[0]);
  CheckAlphabet(alphabet, classCount, !glyphs.empty());
  TContextTree tree(dictionaryLines);
  const TPrecedents precedents = ParsePrecedents(precedentLines, classCount);

  TRecognitionResult result;
  ContextNode* node = &tree.Root;
  std::vector<double> scores(classCount);
  for (std::size_t n = 0; n < glyphs.size(); ++n) {
    TCRContourImage& glyph = *glyphs[n];
    log.push_back("\"Вероятности\" для объекта номер " + std::to_string(n) + ":");
    for (std::int32_t c = 0; c < classCount; ++c) {
      const double similarity = Similarity(glyph, *precedents[c], n, c, alphabet[c]);
      const ContextNode* child = FindChild(*node, alphabet[c]);
      const double weight = child != nullptr ? std::log(child->Count + 2.0) : std::log(2.0);
      scores[c] = static_cast<double>(static_cast<long double>(similarity) * weight);
      log.push_back(ScoreLine(alphabet[c], scores[c]));
    }
    std::int32_t best = 0;
    for (std::int32_t c = 1; c < classCount; ++c) {
      if (scores[c] > scores[best]) best = c;
    }
    glyph.ClassIndex = best;
    if (ContextNode* child = FindChild(*node, alphabet[best])) {
      node = child;
    } else {
      // Outside the dictionary from here on: every further weight is ln 2.
      result.NewWord = true;
      node = EnsureChild(*node, alphabet[best]);
    }
  }
  for (const auto& glyph : glyphs) result.Answer += CodePointToUtf8(alphabet[glyph->ClassIndex]);
  return result;
}

}  // namespace imvora
