#include "core/TextConvert.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace imvora {
namespace {

bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string Trimmed(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// Drops one leading '+' (from_chars does not take it); false for an empty text and for a
// '+' followed by nothing or by another sign ("+", "++5", "+-5").
bool DropLeadingPlus(std::string& t) {
  if (t.empty() || t[0] != '+') return !t.empty();
  t.erase(0, 1);
  return !t.empty() && t[0] != '+' && t[0] != '-';
}

}  // namespace

bool TryParseInt(const std::string& text, std::int32_t& value) {
  std::string t = Trimmed(text);
  if (!DropLeadingPlus(t)) return false;
  std::int32_t parsed = 0;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), parsed);
  if (result.ec != std::errc() || result.ptr != t.data() + t.size()) return false;
  value = parsed;
  return true;
}

bool TryParseReal(const std::string& text, double& value) {
  std::string t = Trimmed(text);
  if (!DropLeadingPlus(t)) return false;
  for (char& c : t) {
    if (c == ',') c = '.';
  }
  // Only plain decimal notation: from_chars would also take "inf", "nan" and hex digits.
  for (char c : t) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E')) return false;
  }
  double parsed = 0;
  const auto result = std::from_chars(t.data(), t.data() + t.size(), parsed);
  if (result.ec != std::errc() || result.ptr != t.data() + t.size() || !std::isfinite(parsed)) {
    return false;
  }
  value = parsed;
  return true;
}

std::string FormatReal(double value, const char* format) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace imvora
