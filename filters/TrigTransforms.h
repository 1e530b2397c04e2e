#pragma once

#include <cstddef>

namespace imvora {

enum class TTrigFamily { Cosine, Sine };

// The lines of a plane of doubles: element j of line i is Start[i * LineStep + j * ElementStep].
struct TLineLayout {
  double* Start;
  int Count;
  int Length;
  std::ptrdiff_t LineStep;
  std::ptrdiff_t ElementStep;
};

// Transforms every line in place with newmat's one-dimensional transforms, scaled as newmat
// scales them: an even length with DCT_II or DST_II, an odd one with DCT or DST, or with their
// inverses. A length below 2 is refused, since newmat would crash on it; newmat's own errors
// are raised as EImvoraError. newmat keeps global state, so calls from several threads take
// turns.
void TransformLines(TTrigFamily family, bool inverse, const TLineLayout& lines);

}  // namespace imvora
