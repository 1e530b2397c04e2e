#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/Error.h"
#include "recognition/Approx.h"
#include "recognition/ContourImageText.h"
#include "tests/core/ContourTestUtil.h"

namespace imvora {
namespace {

using testing::Glyph;

double Similarity(const std::unique_ptr<TCRContourImage>& p,
                  const std::unique_ptr<TCRContourImage>& q) {
  return ContourSimilarity(*p, q.get());
}

TEST(ApproxTest, NodesBasisResamplingAndCoefficients) {
  const std::vector<double> nodes = ChebyshevNodes(4);
  for (int k = 0; k < 4; ++k) EXPECT_DOUBLE_EQ(nodes[k], std::cos((2 * k + 1) * M_PI / 8));
  EXPECT_EQ(ChebyshevBasis(0.5, 4), (std::vector<double>{std::sqrt(0.5), 0.5, -0.5, -1}));
  // Samples 0, 10 stand at −1 and 0; past 0 the last sample holds.
  EXPECT_DOUBLE_EQ(ResampleLinear({0, 10}, -0.5), 5);
  EXPECT_DOUBLE_EQ(ResampleLinear({0, 10}, 0.5), 10);
  EXPECT_DOUBLE_EQ(ResampleLinear({4, 8, 2}, 0), 5);  // positions −1, −1/3, 1/3
  // A constant sequence has only its mean.
  const std::vector<double> c = ChebyshevCoefficients({5, 5, 5}, 4);
  EXPECT_DOUBLE_EQ(c[0], 5 * std::sqrt(2.0));
  for (int k = 1; k < 4; ++k) EXPECT_NEAR(c[k], 0, 1e-12);
}

TEST(ApproxTest, CorrelationIgnoresShiftAndScale) {
  const std::vector<std::int32_t> path = {3, 9, 4, 0, 7, 12, 5, 1, 8};
  const auto base = ChebyshevCoefficients(path, 12);
  for (const auto& [shift, factor, expected] :
       {std::tuple{100, 1, 1.0}, std::tuple{0, 3, 1.0}, std::tuple{-5, -2, -1.0}}) {
    std::vector<std::int32_t> moved;
    for (std::int32_t v : path) moved.push_back(v * factor + shift);
    const auto other = ChebyshevCoefficients(moved, 12);
    EXPECT_NEAR(CoefCorrelation(base.data(), other.data(), 12), expected, 1e-12) << factor;
    EXPECT_NEAR(Similarity(Glyph({base}), Glyph({other})), 2, 1e-12);
  }
}

TEST(ApproxTest, SimilarityPairsObjectsAndRefusesConstantCoefficients) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<double> a = {1, 2, 3, 5}, b = {9, 2, 4, 6};
  EXPECT_EQ(Similarity(Glyph({a, b}), Glyph({a, b, a})), -inf);
  EXPECT_EQ(Similarity(Glyph({}), Glyph({})), 0);
  // Different counts compare over the coefficients both have.
  EXPECT_NEAR(Similarity(Glyph({{1, 2, 3, 5, 7, 1}}), Glyph({{4, 2, 3, 5}})), 2, 1e-12);
  EXPECT_THROW(CoefCorrelation(a.data(), b.data(), 2), EImvoraError);  // one coefficient only
  const std::vector<double> flat = {7, 3, 3, 3};
  EXPECT_THROW(Similarity(Glyph({flat}), Glyph({a})), EImvoraError);
}

TEST(ContourImageTextTest, FormatsAndReadsBack) {
  const std::string text = "1 3 12.50000 -0.25000 0.00000 8.00000 1.00000 -2.12500 ";
  const auto parsed = ParseContourImage("  " + text + " trailing 42");
  EXPECT_EQ(parsed->Objects[0]->CoefY, (std::vector<double>{8, 1, -2.125}));
  EXPECT_EQ(FormatContourImage(*parsed), text);
  const auto random = ChebyshevCoefficients({3, 1, 4, 1, 5, 9, 2, 6}, 20);
  const auto again = ParseContourImage(FormatContourImage(*Glyph({random})));
  for (int k = 0; k < 20; ++k) EXPECT_NEAR(again->Objects[0]->CoefY[k], random[k], 5e-6);
  for (const char* bad : {"", "нет чисел", "1", "1 3 1.0 2.0 3.0 4.0 5.0", "2 1 1 1", "1 -2"}) {
    EXPECT_THROW(ParseContourImage(bad), EImvoraError) << bad;
  }
}

}  // namespace
}  // namespace imvora
