#include "core/TextFile.h"

#include "core/ImageFile.h"

namespace imvora {
namespace {

// Windows-1251 bytes 0x80 ... 0xBF; 0xC0 ... 0xFF are U+0410 ... U+044F. The unassigned 0x98
// keeps its own value.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t Cp1251ToCodePoint(unsigned char byte) {
  if (byte < 0x80) return byte;
  if (byte >= 0xC0) return 0x0410 + (byte - 0xC0);
  return kCp1251High[byte - 0x80];
}

const std::string kByteOrderMark = "\xEF\xBB\xBF";

// Length of the UTF-8 sequence at text[i] and its code point; 0 when it is not valid
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t DecodeUtf8At(const std::string& text, std::size_t i, char32_t& code) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  std::size_t length;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

bool IsValidUtf8(const std::string& bytes) {
  char32_t code;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = DecodeUtf8At(bytes, i, code);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string CodePointToUtf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

std::u32string Utf8ToCodePoints(const std::string& text) {
  std::u32string codes;
  char32_t code;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = DecodeUtf8At(text, i, code);
    // Text in memory is valid UTF-8; a stray byte still counts as one character.
    codes += length ? code : static_cast<unsigned char>(text[i]);
    i += length ? length : 1;
  }
  return codes;
}

std::string DecodeTextBytes(const std::string& bytes) {
  if (IsValidUtf8(bytes)) {
    return bytes.compare(0, kByteOrderMark.size(), kByteOrderMark) == 0
               ? bytes.substr(kByteOrderMark.size())
               : bytes;
  }
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) text += CodePointToUtf8(Cp1251ToCodePoint(byte));
  return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> ReadTextLines(const std::string& name) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
  return SplitLines(DecodeTextBytes(std::string(bytes.begin(), bytes.end())));
}

void WriteTextLines(const std::string& name, const std::vector<std::string>& lines) {
  std::vector<std::uint8_t> bytes;
  for (const std::string& line : lines) {
    bytes.insert(bytes.end(), line.begin(), line.end());
    bytes.push_back('\n');
  }
  WriteFileAtomically(name, bytes);
}

void AppendTextLine(const std::string& name, const std::string& line) {
  const std::vector<std::uint8_t> bytes = ReadWholeFile(name);
  std::string text = DecodeTextBytes(std::string(bytes.begin(), bytes.end()));
  if (!text.empty() && text.back() != '\n' && text.back() != '\r') text += '\n';
  text += line + '\n';
  WriteFileAtomically(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace imvora
