#include "sms_bench_db.h"

#include "platform/file_io.h"
#include "support/backup_writer.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow::bench {

namespace {

void Exec(sqlite3* db, const char* sql) {
    sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Rows inserted through one prepared statement each, in one transaction.
template <typename TBind> void Insert(sqlite3* db, const char* sql, int rows, TBind bind) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    for (int i = 1; i <= rows; ++i) {
        sqlite3_bind_int(stmt, 1, i);
        bind(stmt, i);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
}

} // namespace

TSmsBenchDatabase::TSmsBenchDatabase(bool today) {
    test::TNewSmsDb schema;
    schema.Current = today;
    test::ExecSql(Path, test::NewSmsSql(schema));
    sqlite3* db = nullptr;
    sqlite3_open(Path.c_str(), &db);
    Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN");
    Insert(db, "INSERT INTO handle (ROWID, id, service) VALUES (?1, '+4477009' || ?1, 'SMS')", kChats + 2000,
           [](sqlite3_stmt*, int) {});
    Insert(db,
           "INSERT INTO chat (ROWID, guid, style, chat_identifier, service_name) VALUES (?1, 'c' || ?1, "
           "CASE WHEN ?1 % 10 = 0 THEN 43 ELSE 45 END, '+4477009' || ?1, 'iMessage')",
           kChats, [](sqlite3_stmt*, int) {});
    Insert(db, "INSERT INTO chat_handle_join VALUES (?1, ?2)", kChats,
           [](sqlite3_stmt* s, int i) { sqlite3_bind_int(s, 2, i); });
    Insert(db, "INSERT INTO chat_handle_join VALUES (?1 * 10, ?2)", kChats / 10 * 3,
           [](sqlite3_stmt* s, int i) {
               sqlite3_bind_int(s, 1, (i % (kChats / 10)) + 1);
               sqlite3_bind_int(s, 2, kChats + i % 2000 + 1);
           });
    if (today) {
        const std::string summary =
            test::MessageSummaryInfo({{{600000000'000000000, "First words"},
                                       {600000060'000000000, "Second thoughts"},
                                       {600000120'000000000, "A message of ordinary length"}}},
                                     {});
        Insert(
            db,
            "INSERT INTO message (ROWID, guid, text, handle_id, service, date, is_from_me, "
            "associated_message_type, associated_message_guid, date_edited, message_summary_info) VALUES "
            "(?1, 'm' || ?1, 'A message of ordinary length, like most of them are. ' || ?1, ?1 % 20000 + 1, "
            "'iMessage', ?2, ?1 % 2, CASE WHEN ?1 % 5 = 0 THEN 2000 + ?1 % 6 ELSE 0 END, CASE WHEN ?1 % 5 = "
            "0 THEN 'p:0/m' || (?1 - 1) END, CASE WHEN ?1 % 50 = 1 THEN ?2 ELSE 0 END, ?3)",
            kMessages, [&summary](sqlite3_stmt* s, int i) {
                sqlite3_bind_int64(s, 2, (600000000LL + i) * 1000000000LL);
                if (i % 50 == 1) {
                    sqlite3_bind_blob(s, 3, summary.data(), static_cast<int>(summary.size()), SQLITE_STATIC);
                } else {
                    sqlite3_bind_null(s, 3);
                }
            });
    } else {
        Insert(
            db,
            "INSERT INTO message (ROWID, guid, text, handle_id, service, date, is_from_me, cache_roomnames) "
            "VALUES (?1, 'm' || ?1, 'A message of ordinary length, like most of them are. ' || ?1, ?1 % "
            "20000 "
            "+ 1, 'iMessage', ?2, ?1 % 2, CASE WHEN ?1 % 10 = 0 THEN 'room' END)",
            kMessages, [](sqlite3_stmt* s, int i) {
                sqlite3_bind_int64(s, 2, (600000000LL + i) * (i % 2 == 0 ? 1000000000LL : 1LL));
            });
    }
    Insert(db, "INSERT INTO chat_message_join VALUES (?2, ?1)", kMessages,
           [](sqlite3_stmt* s, int i) { sqlite3_bind_int(s, 2, i % kChats + 1); });
    Insert(db,
           "INSERT INTO attachment (ROWID, guid, filename, mime_type) VALUES (?1, 'a' || ?1, "
           "'~/Library/SMS/Attachments/aa/' || ?1 || '/IMG.JPG', 'image/jpeg')",
           kAttachments, [](sqlite3_stmt*, int) {});
    Insert(db, "INSERT INTO message_attachment_join VALUES (?2, ?1)", kAttachments,
           [](sqlite3_stmt* s, int i) { sqlite3_bind_int(s, 2, i * 19 + 1); });
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

void WriteSmsBenchBackup(const std::string& root, const std::string& folderName, bool attachments) {
    TSmsBenchDatabase database;
    test::TBackupPlan plan;
    plan.FolderName = folderName;
    plan.Layout = test::TLayout::ManifestDb;
    std::string sms;
    ReadWholeFile(database.Path, sms);
    plan.Files.emplace_back("HomeDomain", "Library/SMS/sms.db", std::move(sms));
    for (int i = 1; attachments && i <= kAttachments; ++i) {
        plan.Files.emplace_back("MediaDomain", "Library/SMS/Attachments/aa/" + std::to_string(i) + "/IMG.JPG",
                                std::string(2048, static_cast<char>(i)));
    }
    test::WriteBackup(root, plan);
}

} // namespace kestrow::bench
