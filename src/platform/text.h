#pragma once

#include <string>
#include <string_view>

namespace kestrow {

// Case rules on ASCII letters only: other bytes, UTF-8 sequences included, are left alone.
std::string AsciiLower(std::string_view text);
std::string AsciiUpper(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);
bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWithAsciiNoCase(std::string_view text, std::string_view suffix);

// Removes every space character (U+0020) from the text.
std::string WithoutSpaces(std::string_view text);

// The value of a hexadecimal digit (either case), or -1.
int HexDigit(char c);
// Text up to (not including) its first NUL byte.
std::string UpToNul(std::string_view text);

// A CSV cell's text that a spreadsheet will not run as a formula: one starting with "=" or "@"
// gets a "'" in front. "+" and "-" are left alone: phone numbers start with them.
std::string CsvCellText(std::string_view text);

} // namespace kestrow
