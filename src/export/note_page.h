#pragma once

#include <string>
#include <string_view>

namespace kestrow {

struct TNoteItem;

// The page of one note on its paper background: the modification date, then the body as HTML,
// cleaned by SafeNoteHtml.
std::string BuildNotePage(const TNoteItem& note);

// A note body (HTML by nature) made safe to show: only plain formatting elements stay (div, p, br,
// lists, tables, b, i, u, font, ...), with only their harmless attributes; scripts, styles, frames
// and their content, comments, event attributes and every reference that would load something
// (but data: pictures) are removed; links keep http, https and mailto targets. Text and entities
// pass unchanged; a "<" that starts no tag is escaped.
std::string SafeNoteHtml(std::string_view body);

// The paper texture behind notes: a 64 x 64 tileable light JPEG, made once.
const std::string& NotePaperJpeg();

} // namespace kestrow
