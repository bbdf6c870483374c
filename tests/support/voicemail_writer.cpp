#include "support/voicemail_writer.h"

#include <fmt/format.h>

#include "support/sqlite_writer.h"

namespace kestrow::test {

std::string VoicemailSql(const std::vector<TVoicemailRow>& rows) {
    std::string sql =
        "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
        "CREATE TABLE voicemail (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, remote_uid INTEGER, date "
        "INTEGER, token TEXT, sender TEXT, callback_num TEXT, duration INTEGER, expiration INTEGER, "
        "trashed_date INTEGER, flags INTEGER);";
    for (const TVoicemailRow& r : rows) {
        sql += fmt::format(
            "INSERT INTO voicemail (ROWID, remote_uid, date, sender, callback_num, duration, flags) "
            "VALUES ({}, {}, {}, {}, {}, {}, {});",
            r.RowId, 100 + r.RowId, r.Date, SqlText(r.Sender), SqlText(r.Sender), r.Duration, r.Flags);
    }
    return sql;
}

} // namespace kestrow::test
