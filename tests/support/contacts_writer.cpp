#include "support/contacts_writer.h"

#include <turbojpeg.h>
#include <vector>

#include <fmt/format.h>

#include "support/sqlite_writer.h"

namespace kestrow::test {

namespace {

constexpr const char* kPersonTable =
    "CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, First TEXT, Last TEXT, Middle TEXT, "
    "FirstPhonetic TEXT, MiddlePhonetic TEXT, LastPhonetic TEXT, Organization TEXT, Department TEXT, Note "
    "TEXT, "
    "Kind INTEGER, Birthday TEXT, JobTitle TEXT, Nickname TEXT, Prefix TEXT, Suffix TEXT, FirstSort TEXT, "
    "LastSort "
    "TEXT, CreationDate INTEGER, ModificationDate INTEGER, CompositeNameFallback TEXT, ExternalIdentifier "
    "TEXT, "
    "ExternalModificationTag TEXT, ExternalUUID TEXT, StoreID INTEGER, DisplayName TEXT, "
    "ExternalRepresentation "
    "BLOB, FirstSortSection TEXT, LastSortSection TEXT, FirstSortLanguageIndex INTEGER DEFAULT 2147483647, "
    "LastSortLanguageIndex INTEGER DEFAULT 2147483647, PersonLink INTEGER DEFAULT -1, ImageURI TEXT, "
    "IsPreferredName INTEGER DEFAULT 1);"
    "CREATE TABLE ABMultiValue (UID INTEGER PRIMARY KEY, record_id INTEGER, property INTEGER, identifier "
    "INTEGER, "
    "label INTEGER, value TEXT);"
    "CREATE TABLE ABMultiValueEntry (parent_id INTEGER, key INTEGER, value TEXT, UNIQUE(parent_id, key));"
    "CREATE TABLE ABMultiValueLabel (value TEXT, UNIQUE(value));"
    "CREATE TABLE ABMultiValueEntryKey (value TEXT, UNIQUE(value));"
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));";

// iOS 7 and later keep a full-text index built with a tokenizer of their own; SQLite fails on any
// statement that touches it.
constexpr const char* kFullTextTable =
    "PRAGMA writable_schema=ON;"
    "INSERT INTO sqlite_master (type, name, tbl_name, rootpage, sql) VALUES ('table', "
    "'ABPersonFullTextSearch', "
    "'ABPersonFullTextSearch', 0, 'CREATE VIRTUAL TABLE ABPersonFullTextSearch USING fts3(First, Last, "
    "tokenize=CPSearchTokenizer)');"
    "PRAGMA writable_schema=OFF;";

std::string Optional(const std::optional<std::string>& text) {
    return text ? SqlText(*text) : "NULL";
}

} // namespace

std::string ContactsSql(const TContactsDb& db) {
    std::string sql = kPersonTable;
    for (const auto& p : db.Persons) {
        sql += fmt::format(
            "INSERT INTO ABPerson (ROWID, First, Last, Middle, Organization, Department, Note, Kind, "
            "Birthday, JobTitle, Nickname, Prefix, Suffix, CreationDate) VALUES ({}, {}, {}, {}, {}, {}, {}, "
            "0, {}, {}, {}, {}, {}, {});",
            p.RowId, p.First.empty() ? "NULL" : SqlText(p.First), SqlText(p.Last),
            p.Middle.empty() ? "NULL" : SqlText(p.Middle), SqlText(p.Organization), SqlText(p.Department),
            SqlText(p.Note), p.Birthday ? SqlText(fmt::format("{:.1f}", *p.Birthday)) : "NULL",
            SqlText(p.JobTitle), SqlText(p.Nickname), SqlText(p.Prefix), SqlText(p.Suffix),
            p.Created ? fmt::format("{:.0f}", *p.Created) : "NULL");
    }
    for (const auto& v : db.Values) {
        sql += fmt::format("INSERT INTO ABMultiValue VALUES ({}, {}, {}, {}, {}, {});", v.Uid, v.RecordId,
                           v.Property, v.Identifier, v.Label ? std::to_string(*v.Label) : "NULL",
                           Optional(v.Value));
    }
    for (const auto& e : db.Entries) {
        sql += fmt::format("INSERT INTO ABMultiValueEntry VALUES ({}, {}, {});", e.ParentId, e.Key,
                           SqlText(e.Value));
    }
    for (const auto& label : db.Labels) {
        sql += "INSERT INTO ABMultiValueLabel VALUES (" + SqlText(label) + ");";
    }
    for (const auto& key : db.EntryKeys) {
        sql += "INSERT INTO ABMultiValueEntryKey VALUES (" + SqlText(key) + ");";
    }
    if (db.Current) {
        sql += kFullTextTable;
    }
    return sql;
}

std::string ContactImagesSql(const TContactsDb& db) {
    std::string sql = "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));";
    if (db.Current) {
        sql += "CREATE TABLE ABThumbnailImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, format INTEGER, "
               "derived_from_format INTEGER, data BLOB);"
               "CREATE TABLE ABFullSizeImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, crop_x INTEGER, "
               "crop_y "
               "INTEGER, crop_width INTEGER, data BLOB);";
        for (const auto& t : db.Thumbnails) {
            sql += fmt::format("INSERT INTO ABThumbnailImage (record_id, format, data) VALUES ({}, {}, {});",
                               t.RecordId, t.Format, SqlBlob(t.Data));
        }
        for (const auto& f : db.FullSize) {
            sql += fmt::format("INSERT INTO ABFullSizeImage (record_id, data) VALUES ({}, {});", f.RecordId,
                               SqlBlob(f.Data));
        }
        return sql;
    }
    sql += "CREATE TABLE ABImage (ROWID INTEGER PRIMARY KEY, record_id INTEGER, format INTEGER, data BLOB);";
    for (const auto* pictures : {&db.FullSize, &db.Thumbnails}) {
        for (const auto& t : *pictures) {
            sql += fmt::format("INSERT INTO ABImage (record_id, format, data) VALUES ({}, {}, {});",
                               t.RecordId, t.Format, SqlBlob(t.Data));
        }
    }
    return sql;
}

std::string TestJpeg(int width, int height, unsigned char red, unsigned char green, unsigned char blue) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = red;
        pixels[i + 1] = green;
        pixels[i + 2] = blue;
    }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, pixels.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_444, 95, 0);
    std::string result(reinterpret_cast<const char*>(jpeg), size);
    tjFree(jpeg);
    tjDestroy(handle);
    return result;
}

} // namespace kestrow::test
