#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

class TSQLiteDatabase;

// One note.
struct TNoteItem {
    std::string Title;
    std::string Body; // as stored: HTML fragments (div, br, entities); empty without a body row
    double ModifiedDate = 0;
};

// The notes of notes.sqlite (ZNOTE, ZNOTEBODY) or notes.db (note, note_bodies), read whole in the
// constructor in table row order. Database errors raise ESQLiteException.
class TNotes {
public:
    TNotes(const std::string& fileName, int utcOffset);

    int Count() const { return static_cast<int>(FNotes.size()); }
    const TNoteItem& Notes(int index) const { return FNotes.at(static_cast<std::size_t>(index)); }
    // The body as plain text.
    std::string NoteText(int index) const;

private:
    void ReadNotesSqlite(TSQLiteDatabase& db);
    void ReadNotesDb(TSQLiteDatabase& db);

    std::string FFileName;
    int FUtcOffset = 0;
    std::vector<TNoteItem> FNotes;
};

// A note body as plain text: "</div><div>" and the first "<div>" become CR LF, the first "</div>"
// goes, every "<br>" becomes CR LF (tags compared without regard to case), then HtmlUnescape.
std::string NoteTextOf(std::string_view body);

// Decodes &amp; &lt; &gt; &nbsp; &quot; and numeric references (&#65; &#x41;); anything else after
// "&" stays as it stood and the decoding goes on.
std::string HtmlUnescape(std::string_view text);

} // namespace kestrow
