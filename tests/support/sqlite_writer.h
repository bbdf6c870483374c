#pragma once

#include <string>
#include <vector>

namespace kestrow::test {

// Runs SQL statements on a database file (created when missing); throws on failure.
void ExecSql(const std::string& path, const std::string& sql);
// Runs one statement with a single blob parameter (?1).
void ExecSqlWithBlob(const std::string& path, const std::string& sql, const std::string& blob);

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
