#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ContourData.h"

namespace imvora {

struct TRecognitionResult {
  std::string Answer;    // the class symbols of the glyphs, left to right
  bool NewWord = false;  // the answer left the dictionary's tree and belongs in the dictionary
};

// The largest number of classes the recognition window offers.
constexpr std::int32_t kMaxClassCount = 256;

// Reads the glyphs of a contour set from left to right. Precedent line 0 is the alphabet (its
// k-th character is the symbol of class k), lines 1 ... classCount the contour image texts of
// the classes' precedents. A glyph's score for a class is its contour similarity to the
// precedent times ln(count of dictionary words that continue the symbols read so far with the
// class's symbol, plus 2); the best score (the lowest class on ties) gives the glyph its
// ClassIndex. `log` is cleared, then receives the lines of the recognition window's log as
// they are produced. Errors are EImvoraError: too few precedent lines, an alphabet with fewer
// characters than classes, an incomplete precedent line, or a glyph whose correlation with a
// precedent is undefined; the log lines and ClassIndex values made before an error stay.
TRecognitionResult RecognizeWord(const TContourSet& glyphs,
                                 const std::vector<std::string>& precedentLines,
                                 std::int32_t classCount,
                                 const std::vector<std::string>& dictionaryLines,
                                 std::vector<std::string>& log);

// A score as the log shows it: "%.6f" with a decimal point whatever the user's locale;
// minus infinity as "-inf".
std::string FormatScore(double score);

}  // namespace imvora
