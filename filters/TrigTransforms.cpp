#include "filters/TrigTransforms.h"

#include <newmat/newmatap.h>

#include <mutex>
#include <string>

#include "core/Error.h"

namespace imvora {
namespace {

using TNewmatTransform = void (*)(const NEWMAT::ColumnVector&, NEWMAT::ColumnVector&);

// newmat's trace list and error buffer are globals shared by every caller.
std::mutex& NewmatMutex() {
  static std::mutex mutex;
  return mutex;
}

// newmat's type-II transforms need an even length, its type-I transforms an odd one.
TNewmatTransform ChooseTransform(TTrigFamily family, bool inverse, int length) {
  const bool even = length % 2 == 0;
  if (family == TTrigFamily::Cosine) {
    if (inverse) return even ? &NEWMAT::DCT_II_inverse : &NEWMAT::DCT_inverse;
    return even ? &NEWMAT::DCT_II : &NEWMAT::DCT;
  }
  if (inverse) return even ? &NEWMAT::DST_II_inverse : &NEWMAT::DST_inverse;
  return even ? &NEWMAT::DST_II : &NEWMAT::DST;
}

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  const auto first = s.find_first_not_of(" \n\r\t");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \n\r\t") - first + 1);
}

void TransformEachLine(TNewmatTransform transform, const TLineLayout& lines) {
  NEWMAT::ColumnVector input(lines.Length), output;
  for (int i = 0; i < lines.Count; ++i) {
    double* line = lines.Start + i * lines.LineStep;
    double* in = input.Store();
    for (int j = 0; j < lines.Length; ++j) in[j] = line[j * lines.ElementStep];
    transform(input, output);
    if (output.Nrows() != lines.Length) {
      throw EImvoraError("Спектральное преобразование вернуло вектор неверной длины");
    }
    const double* out = output.Store();
    for (int j = 0; j < lines.Length; ++j) line[j * lines.ElementStep] = out[j];
  }
}

}  // namespace

void TransformLines(TTrigFamily family, bool inverse, const TLineLayout& lines) {
  if (lines.Length < 2) {
    throw EImvoraError("Спектральное преобразование строки длиной " + std::to_string(lines.Length) +
                       " не определено");
  }
  const TNewmatTransform transform = ChooseTransform(family, inverse, lines.Length);
  const std::lock_guard<std::mutex> lock(NewmatMutex());
  try {
    TransformEachLine(transform, lines);
  } catch (const RBD_COMMON::BaseException&) {
    // The message lives in newmat's one static buffer: copy it while the lock is held.
    throw EImvoraError("Ошибка библиотеки newmat: " + Trimmed(RBD_COMMON::BaseException::what()));
  }
}

}  // namespace imvora
