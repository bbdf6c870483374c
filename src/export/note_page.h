#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kestrow {

struct TNoteItem;
struct TNoteAttachment;

// Where a page finds an attachment's picture or file: `Src` for an <img> (a data: URL in the
// desktop program, a relative file name in an export), `Href` for a file linked by name; both
// empty with `InBackup` false when the backup does not hold it.
struct TNoteAttachmentView {
    std::string Src;
    std::string Href;
    bool InBackup = false;
};
using TNoteAttachmentSource = std::function<TNoteAttachmentView(const TNoteAttachment&, std::size_t index)>;

// The page of one note on its paper background: the modification date, then the body as HTML,
// cleaned by SafeNoteHtml, with each attachment in its place: a picture, a table, a link card, or a
// named item ("(not in the backup)" when missing). Without `source` attachments show by name.
std::string BuildNotePage(const TNoteItem& note, const TNoteAttachmentSource& source = {});

// One attachment as HTML (every text escaped; links only to http and https addresses).
std::string NoteAttachmentHtml(const TNoteAttachment& attachment, const TNoteAttachmentView& view);

// A note body (HTML by nature) made safe to show: only plain formatting elements stay (div, p, br,
// lists, tables, b, i, u, font, ...), with only their harmless attributes; scripts, styles, frames
// and their content, comments, event attributes and every reference that would load something
// (but data: pictures) are removed; links keep http, https and mailto targets. Text and entities
// pass unchanged; a "<" that starts no tag is escaped.
std::string SafeNoteHtml(std::string_view body);

// The paper texture behind notes: a 64 x 64 tileable light JPEG, made once.
const std::string& NotePaperJpeg();

} // namespace kestrow
