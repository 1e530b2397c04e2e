#pragma once

#include <cstdint>
#include <string>

namespace imvora {

// Conversions of a whole edit text. Blanks around the number are allowed; anything else that
// does not belong to the number makes the conversion fail.

// A decimal integer with an optional sign that fits 32 bits.
bool TryParseInt(const std::string& text, std::int32_t& value);
// A finite real number; '.' and ',' are both accepted as the decimal separator. Texts such as
// "nan" or "inf", and numbers too large for a double, do not convert.
bool TryParseReal(const std::string& text, double& value);
// A real number in a printf format such as "%g".
std::string FormatReal(double value, const char* format);

}  // namespace imvora
