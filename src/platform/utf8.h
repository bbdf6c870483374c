#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrow {

// Text is UTF-8 throughout. These helpers never split a character and never fail on bytes that are
// not valid UTF-8 (such a byte counts as one character of its own).

// Length of the valid UTF-8 sequence starting at `text[at]`, or 0 when none starts there; the
// character's code point goes to `code`.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, std::uint32_t& code);
bool IsValidUtf8(std::string_view text);
void AppendUtf8(std::string& out, std::uint32_t code);

// The text with every U+FFFC (OBJECT REPLACEMENT CHARACTER, where a message had an attachment) removed.
std::string WithoutObjectReplacement(std::string_view text);

// Case folding for comparisons without regard to case: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic capitals become small letters; everything else is left as it is.
std::string FoldCase(std::string_view text);
bool SameTextNoCase(std::string_view a, std::string_view b);

// The first `count` characters of the text.
std::string FirstCharacters(std::string_view text, std::size_t count);
std::size_t CharacterCount(std::string_view text);

} // namespace kestrow
