#pragma once

#include <string>
#include <vector>

namespace kestrow::test {

// Runs SQL statements on a database file (created when missing); throws on failure.
void ExecSql(const std::string& path, const std::string& sql);
// Runs one statement with a single blob parameter (?1).
void ExecSqlWithBlob(const std::string& path, const std::string& sql, const std::string& blob);

// SQL literals: text in single quotes (doubled inside), bytes as X'..'.
std::string SqlText(const std::string& text);
std::string SqlBlob(const std::string& bytes);

// Writes a database as a device leaves it in a backup: `baseSql` checkpointed into the main file,
// `walSql` only in a live "-wal" companion beside it (the newest data). Returns the main file's
// bytes and the WAL's bytes through the two files `path` and `path + "-wal"`.
void WriteDatabaseWithWal(const std::string& path, const std::string& baseSql, const std::string& walSql);

// One row of a current-layout manifest's Files table.
struct TManifestRow {
    std::string FileId;
    std::string Domain;
    std::string RelativePath;
    int Flags = 1;
    std::string File; // keyed-archive blob
};

// Creates a current-layout manifest database with its tables and writes the rows in one transaction.
void WriteManifestDb(const std::string& path, const std::vector<TManifestRow>& rows);

} // namespace kestrow::test
