#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace kestrow {

// Every failure of the SQLite layer: its fixed message and, for people, why in one line (SQLite's
// own text, or the message itself).
class ESQLiteException : public std::runtime_error {
public:
    explicit ESQLiteException(const std::string& message, std::string reason = {})
        : std::runtime_error(message), FReason(std::move(reason)) {}
    std::string Reason() const { return FReason.empty() ? what() : FReason; }

private:
    std::string FReason;
};

class TSQLiteTable;

// How a database file is opened. Databases inside a backup are never written: they are opened
// read-only and immutable (no journal, no WAL, no lock files), or, when a WAL must be applied,
// read-only from a private copy.
enum class TSQLiteOpenMode { ReadOnlyImmutable, ReadOnly, ReadWrite };

// A database's own SQL never runs: every statement is this program's SQL on the database's tables.
// Reading through one of the database's views or triggers (a view where a table is expected,
// possibly over an endless recursive query) is refused while preparing, and the statement fails
// saying so.
class TSQLiteDatabase {
public:
    explicit TSQLiteDatabase(const std::string& fileName,
                             TSQLiteOpenMode mode = TSQLiteOpenMode::ReadOnlyImmutable);
    TSQLiteDatabase(const TSQLiteDatabase&) = delete;
    TSQLiteDatabase& operator=(const TSQLiteDatabase&) = delete;
    ~TSQLiteDatabase();

    // Prepares a statement and, unless prepareOnly, steps onto its first row.
    std::unique_ptr<TSQLiteTable> GetTable(const std::string& sql, bool prepareOnly = false);
    // The same with text values bound to the statement's parameters ?1, ?2, ... in order: values
    // read from a database never become SQL text.
    std::unique_ptr<TSQLiteTable> GetTable(const std::string& sql, const std::vector<std::string>& params);
    bool TableExists(const std::string& name);
    // The upper-cased column names of a table (empty when there is no such table). `table` is a
    // name of this program's, never text from a database.
    std::vector<std::string> ColumnNames(const std::string& table);
    sqlite3* Handle() const { return fDB; }
    // Called with the SQL text of every statement prepared (logging, tests); unset by default.
    void SetOnQuery(std::function<void(const std::string& sql)> onQuery) { FOnQuery = std::move(onQuery); }

private:
    friend class TSQLiteTable;
    static int Authorize(void* self, int action, const char* a, const char* b, const char* schema,
                         const char* inner);
    sqlite3* fDB = nullptr;
    std::function<void(const std::string& sql)> FOnQuery;
    void ReadOwnSqlNames();
    std::string FRefused;               // why the authorizer refused the statement being prepared
    std::set<std::string> FOwnSqlNames; // the database's views and triggers, lower-cased
};

// One prepared statement and its forward cursor; columns are read by index, looked up once by name.
// A step that fails resets the statement and raises; the table stays usable until it is freed.
class TSQLiteTable {
public:
    TSQLiteTable(const TSQLiteTable&) = delete;
    TSQLiteTable& operator=(const TSQLiteTable&) = delete;
    ~TSQLiteTable();

    bool Next();
    bool Eof() const { return fEOF; }
    int ColCount() const { return fColCount; }
    int Row() const { return fRow; }
    const std::string& Columns(int i) const { return fCols.at(static_cast<std::size_t>(i)); }

    int FieldIndex(const std::string& name) const; // case-insensitive; throws when missing
    bool FieldExists(const std::string& name) const;
    std::string FieldAsString(int i) const;
    // The text in place, valid until the next step or another read of the field (no copy).
    std::string_view FieldAsTextView(int i) const;
    std::int64_t FieldAsInteger(int i) const;
    double FieldAsDouble(int i) const;
    std::string FieldAsBlob(int i) const; // empty for NULL and zero-length blobs
    // The blob in place, valid until the next step (no copy); empty for NULL.
    std::string_view FieldAsBlobView(int i) const;
    bool FieldIsNull(int i) const;
    std::string FieldByName(const std::string& name) const { return FieldAsString(FieldIndex(name)); }

private:
    friend class TSQLiteDatabase;
    TSQLiteTable(TSQLiteDatabase& db, const std::string& sql, bool prepareOnly,
                 const std::vector<std::string>& params);
    ESQLiteException StatementError(const std::string& lead) const;
    [[noreturn]] void FailConstruction(const std::string& lead);

    int fColCount = 0;
    std::vector<std::string> fCols;
    int fRow = 0;
    bool fEOF = false;
    sqlite3_stmt* fStmt = nullptr;
    TSQLiteDatabase& fDB;
    std::string fSQL;
};

// Releases SQLite's resources; called once when the program ends, after every database is closed.
void ShutdownSQLite();

// The description of an SQLite result code used in error messages.
std::string SQLiteCodeDescription(int code);

// Opens a device database for a reader: only a regular file; read-only and immutable, unless a
// "-wal" companion lies beside it (the newest data is there), which is then applied read-only and
// SQLite keeps its shared-memory index beside it. A database below a protected folder is always
// opened immutable: a file there is never made, and a WAL there is not applied.
std::unique_ptr<TSQLiteDatabase> OpenDeviceDatabase(const std::string& fileName);

// Protects a folder (a backup folder) for the rest of the process: OpenDeviceDatabase opens a
// database at or below it read-only and immutable only, whatever lies beside it.
void ProtectDatabaseFolder(const std::string& folder);

// Opens a database that lives in a backup without ever writing there: a database with a "-wal"
// companion is copied with it into `privateFolder` (the WAL holds the newest data) and opened
// read-only from the copy; any other is opened in place, read-only and immutable.
std::unique_ptr<TSQLiteDatabase> OpenBackupDatabase(const std::string& fileName,
                                                    const std::string& privateFolder);

} // namespace kestrow
