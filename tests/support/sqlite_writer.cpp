#include "support/sqlite_writer.h"

#include <cstdio>
#include <fstream>
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

std::string SqlText(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("''") : std::string(1, c);
    }
    return out + "'";
}

std::string SqlBlob(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "X'";
    for (unsigned char c : bytes) {
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out + "'";
}

void WriteDatabaseWithWal(const std::string& path, const std::string& baseSql, const std::string& walSql) {
    const std::string work = path + ".writing";
    std::remove(work.c_str());
    ExecSql(work, "PRAGMA journal_mode=WAL;" + baseSql);
    sqlite3* db = Open(work);
    // No checkpoint: what follows stays in the WAL, as on a phone that was backed up mid-use.
    sqlite3_exec(db, "PRAGMA wal_autocheckpoint=0;", nullptr, nullptr, nullptr);
    char* error = nullptr;
    const int result = sqlite3_exec(db, walSql.c_str(), nullptr, nullptr, &error);
    const std::string message = error != nullptr ? error : "";
    sqlite3_free(error);
    if (result != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("SQL failed: " + message);
    }
    // Copies taken while the connection is open: closing it would checkpoint the WAL away.
    for (const char* suffix : {"", "-wal"}) {
        std::ifstream in(work + suffix, std::ios::binary);
        std::ofstream out(path + suffix, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
    }
    sqlite3_close(db);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::remove((work + suffix).c_str());
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
