#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestrow {

// Texts from a backup (device names, table keys, paths in the log) are untrusted bytes. Printed as
// plain output they are escaped so that they cannot drive a terminal or break the columns: a
// backslash is written "\\", and every control character (C0, DEL, C1) and every byte that is not
// part of valid UTF-8 is written "\xHH" (two lower-case hex digits). UnescapeText is the inverse;
// `extract` accepts a key in that form.
std::string EscapeText(std::string_view text);
std::optional<std::string> UnescapeText(std::string_view text); // nullopt when not in that form

// For JSON: valid UTF-8 as it is (JSON escapes control characters itself), anything else in the
// escaped form above, so that no byte of a key is lost.
std::string JsonText(std::string_view text);

} // namespace kestrow
