#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

// "￼" (U+FFFC) as UTF-8: marks an attachment's place in a note's HTML and text.
inline constexpr std::string_view kObjectMark = "\xEF\xBF\xBC";

// One attribute run of a note: its length in UTF-16 units and how those characters look.
struct TNoteRun {
    std::uint32_t Length = 0;
    int Style = -1; // paragraph: 0 title, 1 heading, 2 subheading, 4 monospaced, 100 bulleted,
                    // 101 dashed, 102 numbered, 103 checklist; -1 plain
    int Indent = 0; // list level
    int Done = -1;  // checklist item: 1 done, 0 open
    int Weight = 0; // 1 bold, 2 italic, 3 both
    bool Underline = false;
    bool Strike = false;
    int Script = 0; // 1 superscript, -1 subscript
    std::string Link;
    std::string AttachmentId; // the character is an attachment (U+FFFC)
    std::string AttachmentUti;
};

// A note's text and its runs, from the note protobuf (document 2 -> note 3: text 2, runs 5).
struct TNoteDocument {
    std::string Text;
    std::vector<TNoteRun> Runs;
};
std::optional<TNoteDocument> ReadNoteDocument(std::string_view protobuf);

// A note as written: HTML (paragraph styles as h1-h3, pre, nested ul/ol with ☐/☑ for checklists;
// bold, italic, underline, strikethrough, links; unstyled lines joined by <br>, every text escaped),
// the plain text (lines joined by CR LF), and the attachments in their order, each marked by
// kObjectMark in both. `inlineText` gives the text of an attachment shown as text (hashtags,
// mentions) or nothing for a real attachment.
struct TNoteBody {
    std::string Html;
    std::string Text;
    std::vector<std::pair<std::string, std::string>> Attachments; // identifier, type UTI
};
using TInlineText = std::function<std::optional<std::string>(const std::string& id, const std::string& uti)>;
TNoteBody RenderNoteBody(const TNoteDocument& document, const TInlineText& inlineText);

} // namespace kestrow
