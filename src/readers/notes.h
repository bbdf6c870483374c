#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

class TSQLiteDatabase;

enum class TNoteAttachmentKind : std::uint8_t { Picture, Drawing, Scan, UrlCard, Table, File };

// One picture or file of an attachment: the attachment's identifier (FallbackImages/ and Previews/
// are named after it) and its media object's identifier and file name (Media/<id>/...), when it has one.
struct TNoteMediaRef {
    std::string AttachmentId;
    std::string MediaId;
    std::string FileName;
};

// An attachment of a current note, in its place in the body (kObjectMark).
struct TNoteAttachment {
    TNoteAttachmentKind Kind = TNoteAttachmentKind::File;
    std::string Identifier;
    std::string TypeUti;
    std::string Name;                            // file name, title or address
    std::string Url;                             // a URL card's address
    std::vector<TNoteMediaRef> Media;            // a scan: one per page
    std::vector<std::vector<std::string>> Cells; // a table's rows
};

// "picture", "drawing", "scan", "url", "table" or "file".
const char* NoteAttachmentKindName(TNoteAttachmentKind kind);

// How a locked note stands.
enum class TNoteLock : std::uint8_t {
    None,     // not locked
    Locked,   // locked with a password, not opened yet
    Opened,   // opened with a password in this session
    Passcode, // locked with the device passcode: no salt on the note, cannot be opened from a backup
    Damaged,  // the right key did not decrypt it (its tag fails) or its data does not read
};

// One note.
struct TNoteItem {
    std::string Title;
    std::string Body; // as stored: HTML fragments (div, br, entities); empty without a body row
    double ModifiedDate = 0;
    // Current stores only.
    double CreatedDate = 0; // 0: none stored
    std::string Folder;
    std::string Account;
    std::string AccountId; // the account's folder under Accounts/
    bool Pinned = false;
    bool Deleted = false; // in "Recently Deleted"
    bool Cut = false;     // its body was left out: the notes read before used the size allowed for bodies
    TNoteLock Lock = TNoteLock::None;
    std::string Text; // the plain text, when the body is HTML written from the note's runs
    bool HasText = false;
    std::vector<TNoteAttachment> Attachments;
};

// The outcome of opening a locked note with a password.
enum class TNoteOpenResult : std::uint8_t { Opened, WrongPassword, Passcode, Damaged, NotLocked };

// The user's texts for the outcomes that open nothing.
const char* NoteOpenText(TNoteOpenResult result);

struct TLockedNoteData; // the stored cipher values of one locked note

// The notes of notes.sqlite (ZNOTE, ZNOTEBODY), notes.db (note, note_bodies) or, on phones since
// 2016, NoteStore.sqlite (ZICCLOUDSYNCINGOBJECT with the gzipped protobuf of ZICNOTEDATA), read whole
// in the constructor in table row order. A current note's body is its plain text written as the
// older stores write bodies (entities escaped, line breaks as <br>), so NoteText gives the text back;
// a password-protected note is listed with its title and "(locked note)", never decrypted. Database
// errors raise ESQLiteException.
class TNotes {
public:
    // Inflated bodies of one store are read up to `bodyBudget` bytes in all; notes after that are
    // listed with Cut set.
    static constexpr std::size_t kBodyBudget = std::size_t{128} << 20;

    TNotes(const std::string& fileName, int utcOffset, std::size_t bodyBudget = kBodyBudget);
    ~TNotes();

    int Count() const { return static_cast<int>(FNotes.size()); }
    const TNoteItem& Notes(int index) const { return FNotes.at(static_cast<std::size_t>(index)); }
    // The body as plain text.
    std::string NoteText(int index) const;

    // Opens one locked note with `password`: a password that opened another note is tried first
    // (the key derived from it is kept per salt and count). Opened: the note reads as any other.
    TNoteOpenResult OpenNote(int index, const std::string& password);
    // Tries each password on every locked note not yet opened; the number of notes opened.
    int OpenLockedNotes(const std::vector<std::string>& passwords);
    int LockedCount() const; // notes still locked with a password

private:
    void ReadNotesSqlite(TSQLiteDatabase& db);
    void ReadNotesDb(TSQLiteDatabase& db);
    void ReadNoteStore(TSQLiteDatabase& db);
    bool TryKey(int index, const std::string& password, TNoteOpenResult& result);
    void FillBody(TNoteItem& note, std::string_view inflated);

    std::string FFileName;
    int FUtcOffset = 0;
    std::size_t FBodyBudget = 0;
    std::vector<TNoteItem> FNotes;
    std::map<int, std::unique_ptr<TLockedNoteData>> FLocked; // note index -> its cipher values
    std::vector<std::string> FGoodPasswords;                 // passwords that opened a note
    struct TAttachmentIndex;
    const TAttachmentIndex& Attachments();

    TSQLiteDatabase* FDb = nullptr;                           // while reading
    std::unique_ptr<TAttachmentIndex> FAttachments;           // read when the first note has an attachment
    std::map<std::string, std::string, std::less<>> FDerived; // password|salt|count -> key
};

// A note body as plain text: "</div><div>" and the first "<div>" become CR LF, the first "</div>"
// goes, every "<br>" becomes CR LF (tags compared without regard to case), then HtmlUnescape.
std::string NoteTextOf(std::string_view body);

// The plain text of a current note's stored data (gzip of a protobuf; the text is field 2 of field
// 3 of field 2). Empty when it does not read.
std::string NoteStoreText(std::string_view data);

// The plain text of a current note: its lines joined by CR LF, each attachment as "[name]".
std::string NoteItemText(const TNoteItem& note);

// Decodes &amp; &lt; &gt; &nbsp; &quot; and numeric references (&#65; &#x41;); anything else after
// "&" stays as it stood and the decoding goes on.
std::string HtmlUnescape(std::string_view text);

} // namespace kestrow
