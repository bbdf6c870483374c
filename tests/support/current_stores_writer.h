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

// NoteStore.sqlite: notes in ZICCLOUDSYNCINGOBJECT (with folders and accounts beside them), their
// text gzipped protobuf in ZICNOTEDATA.
struct TCurrentNote {
    std::string Title;
    std::string Text;
    double Modified = 0; // seconds since 2001
    bool Locked = false;
    std::optional<std::string> RawData; // replaces the gzipped protobuf (damaged data)
};
std::string NoteStoreSql(const std::vector<TCurrentNote>& notes);
// Only the rows of more notes, added after notesBefore earlier ones (a WAL's share).
std::string NoteStoreRowsSql(const std::vector<TCurrentNote>& notes, std::int64_t notesBefore);
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
