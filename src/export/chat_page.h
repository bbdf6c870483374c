#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/html_text.h"

namespace kestrow {

struct TMsgGroup;
struct TMsgItem;
struct TMsgPiece;

// How a conversation's page is made: for the view (pictures inline) or for an export (pictures
// and attachments as links to the files beside the page).
struct TChatPageOptions {
    bool ForExport = false;
    // Export: the attachments' folder as linked from the page ("Chat_files/"), or empty when they
    // lie beside the page.
    std::string LinkPrefix;
    // Export: the date text of the export, for the line under the title.
    std::string ExportedAt;
    // View: the picture of an image part, ready for inline use; nothing leaves the part out.
    std::function<std::optional<TInlinePicture>(const TMsgItem&, const TMsgPiece&)> InlinePicture;
};

// The page of one conversation: a bubble per message in reader order. Every text from the backup
// is HTML-escaped; the page is built from the records, which it never changes.
std::string BuildChatPage(const TMsgGroup& group, const TChatPageOptions& options);

// The caption over a shown conversation: a group's members; otherwise name " - " address, or the
// address alone when the two are equal.
std::string ChatTitle(const TMsgGroup& group);

// The file name a part is exported under: its row id and the extension of its file name.
std::string ExportPartName(const TMsgPiece& piece);

// Whether a part's MIME type (trimmed, any case) names a picture.
bool IsImagePart(const TMsgPiece& piece);

} // namespace kestrow
