#include "recognition/Approx.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/Error.h"

namespace imvora {
namespace {

using Extended = long double;

constexpr double kPi = 3.14159265358979323846;

}  // namespace

std::vector<double> ChebyshevNodes(std::int32_t n) {
  std::vector<double> nodes(std::max(n, 0));
  for (std::int32_t k = 0; k < n; ++k) {
    nodes[k] = static_cast<double>(std::cos((k + Extended{0.5}) * kPi / n));
  }
  return nodes;
}

std::vector<double> ChebyshevBasis(double x, std::int32_t n) {
  std::vector<double> t(std::max(n, 2));
  t[0] = 1;
  t[1] = x;
  for (std::int32_t k = 2; k < n; ++k) {
    t[k] = static_cast<double>(2 * Extended{x} * t[k - 1] - t[k - 2]);
  }
  t[0] = std::sqrt(0.5);
  t.resize(std::max(n, 0));
  return t;
}

double ResampleLinear(const std::vector<double>& samples, double t) {
  const std::int32_t m = static_cast<std::int32_t>(samples.size());
  const Extended h = Extended{2} / m;
  const auto position = [&](std::int32_t i) { return h * i - 1; };
  // The positions rise with i, so the first one at or past t is found by bisection.
  std::int32_t low = 0, high = m;
  while (low < high) {
    const std::int32_t mid = low + (high - low) / 2;
    if (position(mid) >= t) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  if (low == m) return samples[m - 1];
  // Only t = −1 itself (never a Chebyshev node) stands at the first sample.
  if (low == 0) return samples[0];
  const Extended s = position(low);
  return static_cast<double>((s - t) * m / 2 * samples[low - 1] +
                             (h + t - s) * m / 2 * samples[low]);
}

std::vector<double> ChebyshevCoefficients(const std::vector<std::int32_t>& values, std::int32_t n) {
  // A traced path holds at least its start pixel; nothing to describe otherwise.
  if (values.empty() || n < 1) return std::vector<double>(std::max(n, 0), 0.0);
  const std::int32_t length = static_cast<std::int32_t>(values.size());
  std::vector<double> mirrored(2 * static_cast<std::size_t>(length) - 1);
  for (std::int32_t i = 0; i < length; ++i) {
    mirrored[length - 1 + i] = values[i];
    mirrored[length - 1 - i] = values[i];
  }
  const std::vector<double> nodes = ChebyshevNodes(n);
  std::vector<double> coefficients(n, 0.0);
  for (std::int32_t j = 0; j < n; ++j) {
    const double f = ResampleLinear(mirrored, nodes[j]);
    const std::vector<double> basis = ChebyshevBasis(nodes[j], n);
    for (std::int32_t k = 0; k < n; ++k) {
      coefficients[k] = static_cast<double>(coefficients[k] + Extended{f} * basis[k]);
    }
  }
  for (double& c : coefficients) c = static_cast<double>(Extended{c} * 2 / n);
  return coefficients;
}

namespace {

double MeanFromOne(const double* a, std::int32_t n) {
  double sum = 0;
  for (std::int32_t k = 1; k < n; ++k) sum = static_cast<double>(Extended{sum} + a[k]);
  return n > 1 ? static_cast<double>(Extended{sum} / (n - 1)) : sum;
}

}  // namespace

double CoefCorrelation(const double* a, const double* b, std::int32_t n) {
  const double meanA = MeanFromOne(a, n);
  const double meanB = MeanFromOne(b, n);
  double saa = 0, sbb = 0, sab = 0;
  for (std::int32_t k = 1; k < n; ++k) {
    const Extended da = Extended{a[k]} - meanA;
    const Extended db = Extended{b[k]} - meanB;
    saa = static_cast<double>(saa + da * da);
    sbb = static_cast<double>(sbb + db * db);
    sab = static_cast<double>(sab + da * db);
  }
  const Extended product = Extended{saa} * sbb;
  // Constant coefficients have no correlation; the division would be 0/0.
  if (product == 0) {
    throw EImvoraError(
        "Корреляция коэффициентов не определена: коэффициенты с 1-го по последний постоянны");
  }
  return static_cast<double>(sab / std::sqrt(product));
}

double ContourSimilarity(const TCRContourImage& p, const TCRContourImage* q) {
  if (q == nullptr || p.Objects.size() != q->Objects.size()) {
    return -std::numeric_limits<double>::infinity();
  }
  double s = 0;
  for (std::size_t k = 0; k < p.Objects.size(); ++k) {
    const TCRContourObject& a = *p.Objects[k];
    const TCRContourObject& b = *q->Objects[k];
    // Objects described with different counts (precedents taken with another "Разложение
    // на:") are compared over the coefficients both have: a coefficient of low order means
    // the same whatever the count, since the nodes sample the same mirrored path.
    const std::int32_t n = std::min(a.CoefCount, b.CoefCount);
    s = static_cast<double>(
        s + std::fabs(Extended{CoefCorrelation(a.CoefX.data(), b.CoefX.data(), n)}));
    s = static_cast<double>(
        s + std::fabs(Extended{CoefCorrelation(a.CoefY.data(), b.CoefY.data(), n)}));
  }
  return s;
}

}  // namespace imvora
