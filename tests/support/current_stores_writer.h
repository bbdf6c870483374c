#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrow::test {

// What phones have stored since 2016.

// A message's attributedBody as devices archive it (a typedstream of an NSAttributedString, the text
// in an NSString or NSMutableString with its length in one, 1 + 2 or 1 + 4 bytes).
std::string AttributedBody(const std::string& text, bool mutableString = false);

// A note locked as devices lock it, with OpenSSL directly: key-encrypting key PBKDF2-HMAC-SHA-256
// (16 bytes), a random note key wrapped (RFC 3394), the data AES-128-GCM with a 16-byte IV.
struct TNoteLockValues {
    std::string Salt;
    int Iterations = 0;
    std::string WrappedKey;
    std::string Iv;
    std::string Tag;
    std::string Data;
};
TNoteLockValues LockNoteData(const std::string& password, const std::string& gzipped, int iterations = 1000,
                             std::uint32_t seed = 7);

// The published vector of one locked note: password "password", text "Encrypted title\n\nEncrypted
// body", 20,000 iterations.
TNoteLockValues PublishedLockedNote();

// NoteStore.sqlite: notes in ZICCLOUDSYNCINGOBJECT (with folders and accounts beside them), their
// text gzipped protobuf in ZICNOTEDATA. Rows 1-3: the account "iCloud" (identifier "ACC-1"), the
// folders "Notes" and "Recently Deleted"; notes follow.
struct TCurrentNote {
    std::string Title;
    std::string Text;
    double Modified = 0;                 // seconds since 2001
    bool Locked = false;                 // without Lock: locked with the device passcode (no salt)
    std::optional<std::string> RawData;  // replaces the gzipped protobuf (damaged data)
    std::optional<std::string> Protobuf; // replaces NoteProtobuf(Text)
    std::optional<TNoteLockValues> Lock;
    bool CryptoOnData = false; // IV and tag on the note-data row (later versions), else on the note row
    bool Pinned = false;
    bool InTrash = false;
    double Created = 0;
};
// An attachment row (and its media row when MediaId is set).
struct TNoteAttachmentRow {
    std::string Id;
    std::string Uti;
    std::string Title;
    std::string MediaId;
    std::string FileName;
    std::string Url;
    std::string MergeData; // gzipped
    std::string AltText;
    int Parent = 0; // the row of its gallery, counted from 1 in this list
};
// Column numbering of one store version: where notes keep their account and creation date.
struct TNoteStoreVersion {
    std::string AccountColumn = "ZACCOUNT3";
    std::string CreatedColumn = "ZCREATIONDATE1";
};
std::string NoteStoreSql(const std::vector<TCurrentNote>& notes,
                         const std::vector<TNoteAttachmentRow>& attachments = {},
                         const TNoteStoreVersion& version = {});
// Only the rows of more notes, added after notesBefore earlier ones (a WAL's share).
std::string NoteStoreRowsSql(const std::vector<TCurrentNote>& notes, std::int64_t notesBefore,
                             const TNoteStoreVersion& version = {});

// Note protobuf with attribute runs: each run from RunOf.
struct TRunSpec {
    std::uint32_t Length = 0;
    int Style = -1;
    int Indent = 0;
    int Done = -1;
    int Weight = 0;
    bool Underline = false;
    bool Strike = false;
    std::string Link;
    std::string AttachmentId;
    std::string AttachmentUti;
};
std::string NoteProtobufRuns(const std::string& text, const std::vector<TRunSpec>& runs);
std::string Gzip(const std::string& data);
// Merge data of a table (gzipped): rows of cells, written with the rows' order reversed in the
// uuid list so that only the ordering gives the right order.
std::string TableMergeData(const std::vector<std::vector<std::string>>& rows);
std::string TableMergeProtobuf(const std::vector<std::vector<std::string>>& rows); // not gzipped
// The protobuf of a note's text, and the same gzipped with zlib directly (as ZDATA holds it).
std::string NoteProtobuf(const std::string& text);
std::string NoteData(const std::string& text);

// Safari's History.db: history_items and their history_visits.
struct THistoryVisit {
    std::int64_t Item;
    double Time; // seconds since 2001
    std::string Title;
};
struct THistoryDbItem {
    std::int64_t Id;
    std::string Url;
};
std::string HistoryDbSql(const std::vector<THistoryDbItem>& items, const std::vector<THistoryVisit>& visits);

} // namespace kestrow::test
