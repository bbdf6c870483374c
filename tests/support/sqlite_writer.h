#pragma once

#include <string>

namespace kestrow::test {

// Runs SQL statements on a database file (created when missing); throws on failure.
void ExecSql(const std::string& path, const std::string& sql);
// Runs one statement with a single blob parameter (?1).
void ExecSqlWithBlob(const std::string& path, const std::string& sql, const std::string& blob);

} // namespace kestrow::test
