#pragma once

#include <cstdint>
#include <vector>

namespace imvora {

// The border rule of the spatial filters on an axis of n >= 1 positions: the low border mirrors
// about the edge pixel without repeating it (-1 -> 1, -2 -> 2), the high border repeats it
// (n -> n - 1, n + 1 -> n - 2), and overshoots larger than the axis fold again. Folding this
// way has the period 2n - 1, which gives the closed form below instead of a loop whose length
// grows with the overshoot.
inline int MirrorIndex(std::int64_t p, int n) {
  if (p < 0) p = -p;
  if (p < n) return static_cast<int>(p);
  const std::int64_t period = 2 * std::int64_t{n} - 1;
  p %= period;
  return static_cast<int>(p < n ? p : period - p);
}

// MirrorIndex of the count positions first, first + 1, ...: the source of every tap of a pass,
// looked up once per axis instead of once per pixel and tap.
inline std::vector<int> MirrorTable(std::int64_t first, std::int64_t count, int n) {
  std::vector<int> table(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) table[i] = MirrorIndex(first + i, n);
  return table;
}

}  // namespace imvora
