#include "recognition/ContourImageText.h"

#include <charconv>

#include "core/Error.h"
#include "core/Filtering.h"

namespace imvora {
namespace {

void AppendFixed(std::string& text, double value) {
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 5);
  text.append(buffer, result.ptr);
  text += ' ';
}

// Reads the numbers of a contour image text in order, failing when the text runs out.
class TNumberReader {
 public:
  explicit TNumberReader(const std::string& text) {
    // The first number may stand after other characters, as every later one may.
    std::int32_t skipped;
    next_ = text.empty() ? nullptr : text.c_str();
    if (next_ != nullptr && *next_ != '-' && (*next_ < '0' || *next_ > '9')) {
      next_ = ScanInt(next_, skipped);
    }
  }

  std::int32_t Count() {
    std::int32_t value;
    next_ = ScanInt(Position(), value);
    if (value < 0) throw EImvoraError("отрицательное количество в тексте контурного изображения");
    return value;
  }

  double Coefficient() {
    double value;
    next_ = ScanDecimal(Position(), value);
    return value;
  }

 private:
  const char* Position() const {
    if (next_ == nullptr) throw EImvoraError("текст контурного изображения неполон");
    return next_;
  }

  const char* next_;
};

}  // namespace

std::string FormatContourImage(const TCRContourImage& image) {
  std::string text = std::to_string(image.Objects.size()) + ' ';
  for (const auto& object : image.Objects) {
    text += std::to_string(object->CoefCount) + ' ';
    for (std::int32_t k = 0; k < object->CoefCount; ++k) AppendFixed(text, object->CoefX[k]);
    for (std::int32_t k = 0; k < object->CoefCount; ++k) AppendFixed(text, object->CoefY[k]);
  }
  return text;
}

std::unique_ptr<TCRContourImage> ParseContourImage(const std::string& text) {
  TNumberReader reader(text);
  auto image = std::make_unique<TCRContourImage>();
  const std::int32_t objects = reader.Count();
  // Nothing is reserved from the counts: a text announcing more than it holds fails on the
  // first missing number, long before its announced size could matter.
  for (std::int32_t i = 0; i < objects; ++i) {
    auto object = std::make_unique<TCRContourObject>();
    object->CoefCount = reader.Count();
    for (std::int32_t k = 0; k < object->CoefCount; ++k) {
      object->CoefX.push_back(reader.Coefficient());
    }
    for (std::int32_t k = 0; k < object->CoefCount; ++k) {
      object->CoefY.push_back(reader.Coefficient());
    }
    image->Objects.push_back(std::move(object));
  }
  return image;
}

}  // namespace imvora
