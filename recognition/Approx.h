#pragma once

#include <cstdint>
#include <vector>

#include "core/ContourData.h"

namespace imvora {

// Chebyshev descriptors of traced contours. Arrays hold doubles; every statement is evaluated
// in extended precision and rounded to double where its result is stored, as the x87 code the
// descriptors were first computed with did.

// x_k = cos((k + 0.5)·π / n), k = 0 ... n − 1.
std::vector<double> ChebyshevNodes(std::int32_t n);
// T_0 ... T_(n−1) at x by the recurrence, then T_0 replaced by √0.5.
std::vector<double> ChebyshevBasis(double x, std::int32_t n);
// Linear interpolation of samples standing at −1, −1 + h, ..., 1 − h (h = 2/m) at t; past the
// last sample its value.
double ResampleLinear(const std::vector<double>& samples, double t);
// n coefficients of the sequence mirrored about its first value (n ≥ 2, a non-empty sequence).
std::vector<double> ChebyshevCoefficients(const std::vector<std::int32_t>& values, std::int32_t n);
// Pearson correlation of a[1 ... n−1] and b[1 ... n−1]. Coefficients that are all equal in
// either vector leave it undefined (0/0): EImvoraError.
double CoefCorrelation(const double* a, const double* b, std::int32_t n);
// Sum over the paired objects of |corr(CoefX)| + |corr(CoefY)|; minus infinity when q is
// missing or the object counts differ.
double ContourSimilarity(const TCRContourImage& p, const TCRContourImage* q);

}  // namespace imvora
