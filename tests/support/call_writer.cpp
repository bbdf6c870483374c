#include "support/call_writer.h"

#include <fmt/format.h>

#include "support/sqlite_writer.h"

namespace kestrow::test {

std::string CallHistoryStoreDataSql(const std::vector<TCallRow>& calls) {
    std::string sql =
        "CREATE TABLE ZCALLRECORD ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZANSWERED "
        "INTEGER, "
        "ZCALLTYPE INTEGER, ZDISCONNECTED_CAUSE INTEGER, ZFACE_TIME_DATA INTEGER, ZNUMBER_AVAILABILITY "
        "INTEGER, "
        "ZORIGINATED INTEGER, ZREAD INTEGER, ZDATE TIMESTAMP, ZDURATION FLOAT, ZADDRESS VARCHAR, ZDEVICE_ID "
        "VARCHAR, "
        "ZISO_COUNTRY_CODE VARCHAR, ZNAME VARCHAR, ZUNIQUE_ID VARCHAR );"
        "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, Z_MAX "
        "INTEGER);"
        "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);";
    int pk = 0;
    for (const TCallRow& c : calls) {
        sql += fmt::format(
            "INSERT INTO ZCALLRECORD (Z_PK, Z_ENT, Z_OPT, ZANSWERED, ZCALLTYPE, ZORIGINATED, ZREAD, "
            "ZDATE, ZDURATION, ZADDRESS, ZISO_COUNTRY_CODE, ZUNIQUE_ID) VALUES ({}, 2, 1, {}, {}, {}, "
            "1, {:.6f}, {}.0, {}, 'gb', 'id{}');",
            ++pk, c.Answered, c.CallType, c.Originated, c.Date, c.Duration, SqlText(c.Address), pk);
    }
    return sql;
}

std::string CallHistoryDbSql(const std::vector<TCallRow>& calls) {
    std::string sql = "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
                      "CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date "
                      "INTEGER, duration INTEGER, "
                      "flags INTEGER, id INTEGER, name TEXT, country_code TEXT, network_code TEXT, read "
                      "INTEGER, assisted INTEGER, "
                      "face_time_data BLOB, originalAddress TEXT);"
                      "CREATE INDEX date_index on call(date);";
    for (const TCallRow& c : calls) {
        sql += fmt::format(
            "INSERT INTO call (address, date, duration, flags, id, country_code, read) VALUES ({}, "
            "{}, {}, {}, {}, '310', 1);",
            SqlText(c.Address), static_cast<std::int64_t>(c.Date), c.Duration, c.Flags, c.ContactId);
    }
    return sql;
}

} // namespace kestrow::test
