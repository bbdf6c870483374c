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
    // View: image parts name their picture by PictureAddress and the view serves it when the engine
    // asks, so the page's text shows before any picture is decoded. A picture that cannot be
    // served shows its alternative text ("… (cannot be shown)").
    bool PicturesByAddress = false;
    // View: whether a part's file is in the backup; one that is not shows its type and "(not in the
    // backup)". Unset: every part is taken to be there.
    std::function<bool(const TMsgPiece&)> PartInBackup;
    // Export: the name of the file written for a part (beside the page, under LinkPrefix), or nothing
    // when none was written; only written files are linked. Unset: ExportPartName.
    std::function<std::optional<std::string>(const TMsgPiece&)> ExportedPart;
};

// The page of one conversation: a bubble per message in reader order, each part on a line of its
// own; group events as centred lines; a reply quotes the message it answers; reactions, edits,
// unsent and deleted marks under the content, a sticker's picture under the reactions; a part the
// phone hides is named on a mark line ("Hidden attachment: …"). Every text from the backup
// is HTML-escaped; the page is built from the records, which it never changes.
std::string BuildChatPage(const TMsgGroup& group, const TChatPageOptions& options);

// The caption over a shown conversation: a group's members (after its name when it has one);
// otherwise name " - " address, or the address alone when the two are equal.
std::string ChatTitle(const TMsgGroup& group);

// The anchor a part of the view's page links to ("part-<kind>-<row id>"), so the view knows which
// part a click on the page met.
std::string PartAnchor(const TMsgPiece& piece);

// The address, relative to the view's page, of an image part's picture ("part/<kind>-<row id>").
std::string PictureAddress(const TMsgPiece& piece);

// The file name a part is exported under: its row id and the extension of its file name.
std::string ExportPartName(const TMsgPiece& piece);

// What follows "Group: " over an exported group chat: its members, after its name when it has one
// ("Trip (Anna, Ben)").
std::string GroupLine(const TMsgGroup& group);

// How a part is named on a page: its MIME type, after its transfer name and before its size when
// the attachment row gives them ("Audio Message.caf, audio/x-caf, 31 KB"); the file's name when
// the row gives neither name nor type.
std::string PartLabel(const TMsgPiece& piece);

// Whether a part's MIME type (trimmed, any case) names a picture.
bool IsImagePart(const TMsgPiece& piece);

} // namespace kestrow
