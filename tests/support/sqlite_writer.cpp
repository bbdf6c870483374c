#include "support/sqlite_writer.h"

#include <stdexcept>

#include <sqlite3.h>

namespace kestrow::test {

namespace {

sqlite3* Open(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + path);
    }
    return db;
}

} // namespace

void ExecSql(const std::string& path, const std::string& sql) {
    sqlite3* db = Open(path);
    char* error = nullptr;
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    const std::string message = error != nullptr ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    if (result != SQLITE_OK) {
        throw std::runtime_error("SQL failed: " + message);
    }
}

void ExecSqlWithBlob(const std::string& path, const std::string& sql, const std::string& blob) {
    sqlite3* db = Open(path);
    sqlite3_stmt* stmt = nullptr;
    int result = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    if (result == SQLITE_OK) {
        sqlite3_bind_blob(stmt, 1, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
        result = sqlite3_step(stmt) == SQLITE_DONE ? SQLITE_OK : SQLITE_ERROR;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (result != SQLITE_OK) {
        throw std::runtime_error("SQL failed: " + sql);
    }
}

void WriteManifestDb(const std::string& path, const std::vector<TManifestRow>& rows) {
    ExecSql(path,
            "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags INTEGER, "
            "file BLOB); CREATE INDEX FilesDomainIdx ON Files(domain);"
            "CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB);");
    sqlite3* db = Open(path);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Files VALUES (?1, ?2, ?3, ?4, ?5)", -1, &stmt, nullptr);
    for (const TManifestRow& row : rows) {
        sqlite3_bind_text(stmt, 1, row.FileId.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 2, row.Domain.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt, 3, row.RelativePath.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(stmt, 4, row.Flags);
        sqlite3_bind_blob(stmt, 5, row.File.data(), static_cast<int>(row.File.size()), SQLITE_TRANSIENT);
        sqlite3_step(stmt);
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    const int result = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (result != SQLITE_OK) {
        throw std::runtime_error("cannot write " + path);
    }
}

} // namespace kestrow::test
