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

// The notes of notes.sqlite (ZNOTE, ZNOTEBODY), notes.db (note, note_bodies) or, on phones since
// 2016, NoteStore.sqlite (ZICCLOUDSYNCINGOBJECT with the gzipped protobuf of ZICNOTEDATA), read whole
// in the constructor in table row order. A current note's body is its plain text written as the
// older stores write bodies (entities escaped, line breaks as <br>), so NoteText gives the text back;
// a password-protected note is listed with its title and "(locked note)", never decrypted. Database
// errors raise ESQLiteException.
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
    void ReadNoteStore(TSQLiteDatabase& db);

    std::string FFileName;
    int FUtcOffset = 0;
    std::vector<TNoteItem> FNotes;
};

// A note body as plain text: "</div><div>" and the first "<div>" become CR LF, the first "</div>"
// goes, every "<br>" becomes CR LF (tags compared without regard to case), then HtmlUnescape.
std::string NoteTextOf(std::string_view body);

// The plain text of a current note's stored data (gzip of a protobuf; the text is field 2 of field
// 3 of field 2). Empty when it does not read.
std::string NoteStoreText(std::string_view data);

// Decodes &amp; &lt; &gt; &nbsp; &quot; and numeric references (&#65; &#x41;); anything else after
// "&" stays as it stood and the decoding goes on.
std::string HtmlUnescape(std::string_view text);

} // namespace kestrow
