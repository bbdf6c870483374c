#include "support/notes_writer.h"

#include <fmt/format.h>

#include "support/sqlite_writer.h"

namespace kestrow::test {

std::string NotesSqliteSql(const std::vector<TNoteRow>& notes, bool withOwnerColumn) {
    std::string sql =
        "CREATE TABLE ZNOTE ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCONTAINSCJK INTEGER, "
        "ZCONTENTTYPE INTEGER, ZDELETEDFLAG INTEGER, ZEXTERNALFLAGS INTEGER, ZEXTERNALSEQUENCENUMBER "
        "INTEGER, "
        "ZEXTERNALSERVERINTID INTEGER, ZINTEGERID INTEGER, ZISBOOKKEEPINGENTRY INTEGER, ZBODY INTEGER, "
        "ZSTORE INTEGER, "
        "ZCREATIONDATE TIMESTAMP, ZMODIFICATIONDATE TIMESTAMP, ZAUTHOR VARCHAR, ZGUID VARCHAR, ZSERVERID "
        "VARCHAR, "
        "ZSUMMARY VARCHAR, ZTITLE VARCHAR );";
    sql += withOwnerColumn
               ? "CREATE TABLE ZNOTEBODY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZOWNER "
                 "INTEGER, ZCONTENT VARCHAR, ZEXTERNALCONTENTREF VARCHAR, ZEXTERNALREPRESENTATION BLOB );"
               : "CREATE TABLE ZNOTEBODY ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
                 "ZCONTENT VARCHAR );";
    int body = 100;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const TNoteRow& n = notes[i];
        const std::size_t pk = i + 1;
        sql += fmt::format(
            "INSERT INTO ZNOTE (Z_PK, Z_ENT, Z_OPT, ZMODIFICATIONDATE, ZTITLE, ZSUMMARY) VALUES ({}, 2, "
            "1, {:.3f}, {}, {});",
            pk, n.Modified, SqlText(n.Title), SqlText(n.Title));
        if (n.Body) {
            sql += withOwnerColumn
                       ? fmt::format("INSERT INTO ZNOTEBODY (Z_PK, Z_ENT, Z_OPT, ZOWNER, ZCONTENT) VALUES "
                                     "({}, 1, 1, {}, {});",
                                     ++body, pk, SqlText(*n.Body))
                       : fmt::format("INSERT INTO ZNOTEBODY VALUES ({}, 1, 1, {});", pk, SqlText(*n.Body));
        }
    }
    return sql;
}

std::string NotesDbSql(const std::vector<TNoteRow>& notes) {
    std::string sql =
        "CREATE TABLE Note (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, creation_date INTEGER, title TEXT, "
        "summary TEXT, modification_date INTEGER, contains_cjk INTEGER);"
        "CREATE TABLE note_bodies (note_id INTEGER, data, UNIQUE(note_id));";
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const TNoteRow& n = notes[i];
        sql += fmt::format(
            "INSERT INTO Note (ROWID, title, summary, modification_date) VALUES ({}, {}, {}, {});", i + 1,
            SqlText(n.Title), SqlText(n.Title), static_cast<std::int64_t>(n.Modified));
        if (n.Body) {
            sql += fmt::format("INSERT INTO note_bodies VALUES ({}, {});", i + 1, SqlText(*n.Body));
        }
    }
    return sql;
}

} // namespace kestrow::test
