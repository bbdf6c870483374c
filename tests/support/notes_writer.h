#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrow::test {

// notes.sqlite (Core Data: ZNOTE, ZNOTEBODY with ZOWNER) and the older notes.db (note, note_bodies).
struct TNoteRow {
    std::string Title;
    std::optional<std::string> Body; // nothing: the note has no body row
    double Modified = 0;             // seconds since 2001
};

std::string NotesSqliteSql(const std::vector<TNoteRow>& notes, bool withOwnerColumn = true);
std::string NotesDbSql(const std::vector<TNoteRow>& notes);

} // namespace kestrow::test
