#pragma once

#include <string>
#include <vector>

namespace imvora {

// Plain text files of lines (dictionaries, precedent data). They are read as UTF-8; a file
// that is not valid UTF-8 is taken as Windows-1251, the code page of the dictionaries older
// Windows tools wrote. Text in memory and every file written is UTF-8.

// The text of file bytes as UTF-8 (a UTF-8 byte order mark is dropped).
std::string DecodeTextBytes(const std::string& bytes);
bool IsValidUtf8(const std::string& bytes);
// Lines split at "\n", "\r\n" or "\r"; a final line break does not start another line.
std::vector<std::string> SplitLines(const std::string& text);
// The code points of a UTF-8 text.
std::u32string Utf8ToCodePoints(const std::string& text);
std::string CodePointToUtf8(char32_t c);

std::vector<std::string> ReadTextLines(const std::string& name);
// Writes the lines, each ended by "\n", atomically.
void WriteTextLines(const std::string& name, const std::vector<std::string>& lines);
// Adds a line at the end of a text file, atomically; a Windows-1251 file is rewritten as UTF-8.
void AppendTextLine(const std::string& name, const std::string& line);

}  // namespace imvora
