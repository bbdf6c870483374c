#include "readers/sqlite_database.h"

#include <algorithm>
#include <atomic>
#include <fcntl.h>
#include <mutex>

#include <fmt/format.h>
#include <sqlite3.h>

#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace kestrow {

namespace {

// A file name as an SQLite URI: every byte outside the unreserved set is percent-encoded.
std::string FileUri(const std::string& path, const char* query) {
    std::string uri = "file:";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        uri += plain ? std::string(1, static_cast<char>(c)) : fmt::format("%{:02X}", c);
    }
    return uri + query;
}

// SQLite counts its memory under one global lock by default, taken on every allocation; threads
// building the search index side by side would queue on it. Nothing here reads the counts. Set
// before main, as it must be before SQLite's first use.
const bool kNoMemoryCounts = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;

} // namespace

void ShutdownSQLite() {
    sqlite3_shutdown();
}

std::string SQLiteCodeDescription(int code) {
    static const char* const kDescriptions[] = {
        "Successful result",
        "SQL error or missing database",
        "An internal logic error in SQLite",
        "Access permission denied",
        "Callback routine requested an abort",
        "The database file is locked",
        "A table in the database is locked",
        "A malloc() failed",
        "Attempt to write a readonly database",
        "Operation terminated by sqlite3_interrupt()",
        "Some kind of disk I/O error occurred",
        "The database disk image is malformed",
        "(Internal Only) Table or record not found",
        "Insertion failed because database is full",
        "Unable to open the database file",
        "Database lock protocol error",
        "Database is empty",
        "The database schema changed",
        "Too much data for one row of a table",
        "Abort due to contraint violation",
        "Data type mismatch",
        "Library used incorrectly",
        "Uses OS features not supported on host",
        "Authorization denied",
        "Auxiliary database format error",
        "2nd parameter to sqlite3_bind out of range",
        "File opened that is not a database file",
    };
    if (code >= 0 && code <= 26) {
        return kDescriptions[code];
    }
    if (code == 100) {
        return "sqlite3_step() has another row ready";
    }
    if (code == 101) {
        return "sqlite3_step() has finished executing";
    }
    return fmt::format("Unknown SQLite Error Code \"{}\"", code);
}

TSQLiteDatabase::TSQLiteDatabase(const std::string& fileName, TSQLiteOpenMode mode) {
    int result = SQLITE_OK;
    if (mode == TSQLiteOpenMode::ReadWrite) {
        result = sqlite3_open(fileName.c_str(), &fDB);
    } else {
        const char* query = mode == TSQLiteOpenMode::ReadOnlyImmutable ? "?immutable=1" : "";
        result = sqlite3_open_v2(FileUri(fileName, query).c_str(), &fDB,
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    }
    if (result != SQLITE_OK) {
        const std::string text = fDB != nullptr ? sqlite3_errmsg(fDB) : "Unknown error";
        sqlite3_close(fDB);
        fDB = nullptr;
        throw ESQLiteException(fmt::format("Failed to open database \"{}\" : {}", fileName, text), text);
    }
    ReadOwnSqlNames();
    sqlite3_set_authorizer(fDB, &TSQLiteDatabase::Authorize, this);
}

void TSQLiteDatabase::ReadOwnSqlNames() {
    // A file that is no database fails here silently and again, with its reason, at the first statement.
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(fDB, "SELECT lower(name) FROM sqlite_master WHERE type IN ('view', 'trigger')", -1,
                           &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            if (const auto* name = sqlite3_column_text(stmt, 0); name != nullptr) {
                FOwnSqlNames.insert(reinterpret_cast<const char*>(name));
            }
        }
    }
    sqlite3_finalize(stmt);
}

int TSQLiteDatabase::Authorize(void* self, int /*action*/, const char* /*a*/, const char* /*b*/,
                               const char* /*schema*/, const char* inner) {
    // `inner` names the view, trigger or common table expression an action comes from; only the
    // database's own views and triggers are refused (a reader's own WITH clause is its SQL).
    auto& db = *static_cast<TSQLiteDatabase*>(self);
    if (inner == nullptr || db.FOwnSqlNames.count(AsciiLower(inner)) == 0) {
        return SQLITE_OK;
    }
    if (db.FRefused.empty()) {
        db.FRefused = fmt::format("\"{}\" is a view, not a table", inner);
    }
    return SQLITE_DENY;
}

TSQLiteDatabase::~TSQLiteDatabase() {
    sqlite3_close(fDB);
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::GetTable(const std::string& sql, bool prepareOnly) {
    return std::unique_ptr<TSQLiteTable>(new TSQLiteTable(*this, sql, prepareOnly, {}));
}

std::unique_ptr<TSQLiteTable> TSQLiteDatabase::GetTable(const std::string& sql,
                                                        const std::vector<std::string>& params) {
    return std::unique_ptr<TSQLiteTable>(new TSQLiteTable(*this, sql, false, params));
}

bool TSQLiteDatabase::TableExists(const std::string& name) {
    // The name is quoted as an SQL literal (quotes doubled), never spliced in as SQL.
    std::string literal;
    for (char c : AsciiLower(name)) {
        literal += c == '\'' ? std::string("''") : std::string(1, c);
    }
    const auto table = GetTable("select [sql] from sqlite_master where [type] = 'table' and lower(name) = '" +
                                literal + "' ");
    return table->Row() > 0;
}

std::vector<std::string> TSQLiteDatabase::ColumnNames(const std::string& table) {
    std::vector<std::string> names;
    const auto info = GetTable("PRAGMA table_info(" + table + ")");
    const int name = info->FieldIndex("name");
    for (; !info->Eof(); info->Next()) {
        names.push_back(AsciiUpper(info->FieldAsString(name)));
    }
    return names;
}

TSQLiteTable::TSQLiteTable(TSQLiteDatabase& db, const std::string& sql, bool prepareOnly,
                           const std::vector<std::string>& params)
    : fDB(db), fSQL(sql) {
    db.FRefused.clear();
    if (sqlite3_prepare_v2(db.Handle(), sql.c_str(), -1, &fStmt, nullptr) != SQLITE_OK) {
        FailConstruction("Error executing SQL");
    }
    if (fStmt == nullptr) {
        FailConstruction("Could not prepare SQL statement");
    }
    if (db.FOnQuery) {
        db.FOnQuery(sql);
    }
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (sqlite3_bind_text(fStmt, static_cast<int>(i + 1), params[i].data(),
                              static_cast<int>(params[i].size()), SQLITE_TRANSIENT) != SQLITE_OK) {
            FailConstruction("Error executing SQL");
        }
    }
    fColCount = sqlite3_column_count(fStmt);
    for (int i = 0; i < fColCount; ++i) {
        const char* name = sqlite3_column_name(fStmt, i);
        fCols.push_back(AsciiUpper(name != nullptr ? name : ""));
    }
    if (!prepareOnly) {
        try {
            Next();
        } catch (...) {
            sqlite3_finalize(fStmt); // no table comes out of a failed construction
            throw;
        }
    }
}

TSQLiteTable::~TSQLiteTable() {
    sqlite3_finalize(fStmt);
}

ESQLiteException TSQLiteTable::StatementError(const std::string& lead) const {
    const int code = sqlite3_errcode(fDB.Handle());
    const std::string detail = code != 0 ? sqlite3_errmsg(fDB.Handle()) : "Unknown error description";
    return ESQLiteException(fmt::format("{}.\r\nError [{}]: {}.\r\n\"{}\": {}", lead, code,
                                        SQLiteCodeDescription(code), fSQL, detail),
                            fDB.FRefused.empty() ? detail : fDB.FRefused);
}

void TSQLiteTable::FailConstruction(const std::string& lead) {
    const ESQLiteException error = StatementError(lead);
    sqlite3_finalize(fStmt);
    fStmt = nullptr;
    throw error;
}

bool TSQLiteTable::Next() {
    fEOF = true;
    const int result = sqlite3_step(fStmt);
    if (result == SQLITE_ROW) {
        fEOF = false;
        ++fRow;
    } else if (result != SQLITE_DONE) {
        sqlite3_reset(fStmt);
        throw StatementError("Could not retrieve data");
    }
    return !fEOF;
}

int TSQLiteTable::FieldIndex(const std::string& name) const {
    if (fCols.empty()) {
        throw ESQLiteException(fmt::format("Field {} Not found. Empty dataset", name));
    }
    const std::string upper = AsciiUpper(name);
    for (std::size_t i = 0; i < fCols.size(); ++i) {
        if (fCols[i] == upper) {
            return static_cast<int>(i);
        }
    }
    throw ESQLiteException(fmt::format("Field not found in dataset: {}", name));
}

bool TSQLiteTable::FieldExists(const std::string& name) const {
    const std::string upper = AsciiUpper(name);
    for (const std::string& column : fCols) {
        if (column == upper) {
            return true;
        }
    }
    return false;
}

std::string TSQLiteTable::FieldAsString(int i) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(fStmt, i));
    if (text == nullptr) {
        return {};
    }
    return std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(fStmt, i)));
}

std::string_view TSQLiteTable::FieldAsTextView(int i) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(fStmt, i));
    return text == nullptr ? std::string_view()
                           : std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(fStmt, i)));
}

std::int64_t TSQLiteTable::FieldAsInteger(int i) const {
    return sqlite3_column_int64(fStmt, i);
}

double TSQLiteTable::FieldAsDouble(int i) const {
    return sqlite3_column_double(fStmt, i);
}

std::string TSQLiteTable::FieldAsBlob(int i) const {
    const void* blob = sqlite3_column_blob(fStmt, i);
    const int size = sqlite3_column_bytes(fStmt, i);
    return (blob == nullptr || size <= 0) ? std::string() : std::string(static_cast<const char*>(blob), size);
}

std::string_view TSQLiteTable::FieldAsBlobView(int i) const {
    const void* blob = sqlite3_column_blob(fStmt, i);
    const int size = sqlite3_column_bytes(fStmt, i);
    return (blob == nullptr || size <= 0) ? std::string_view()
                                          : std::string_view(static_cast<const char*>(blob), size);
}

bool TSQLiteTable::FieldIsNull(int i) const {
    return sqlite3_column_type(fStmt, i) == SQLITE_NULL;
}

namespace {

// SQLite would follow a link and block on a FIFO: only a regular file is opened.
void RequireRegularFile(const std::string& fileName) {
    TFileHandle check;
    std::int64_t size = 0;
    if (const int err = OpenRegularFileAt(AT_FDCWD, fileName, check, size); err != 0) {
        throw ESQLiteException(fmt::format("Failed to open database \"{}\" : {}", fileName, ErrorText(err)),
                               ErrorText(err));
    }
}

struct TProtectedFolders {
    std::mutex Mutex;
    std::vector<std::string> Folders; // each ending with "/"
};

TProtectedFolders& ProtectedFolders() {
    static TProtectedFolders folders;
    return folders;
}

bool InProtectedFolder(const std::string& fileName) {
    TProtectedFolders& protectedFolders = ProtectedFolders();
    std::lock_guard lock(protectedFolders.Mutex);
    for (const std::string& folder : protectedFolders.Folders) {
        if (StartsWith(fileName, folder)) {
            return true;
        }
    }
    return false;
}

} // namespace

void ProtectDatabaseFolder(const std::string& folder) {
    const std::string withSlash = WithTrailingSlash(folder);
    TProtectedFolders& protectedFolders = ProtectedFolders();
    std::lock_guard lock(protectedFolders.Mutex);
    if (std::find(protectedFolders.Folders.begin(), protectedFolders.Folders.end(), withSlash) ==
        protectedFolders.Folders.end()) {
        protectedFolders.Folders.push_back(withSlash);
    }
}

std::unique_ptr<TSQLiteDatabase> OpenDeviceDatabase(const std::string& fileName) {
    RequireRegularFile(fileName);
    // A WAL the session did not place is no part of the backup; reading it would make SQLite
    // write its shared-memory index beside it.
    const bool hasWal = !InProtectedFolder(fileName) && FileSizeOf(fileName + "-wal") > 0;
    return std::make_unique<TSQLiteDatabase>(fileName, hasWal ? TSQLiteOpenMode::ReadOnly
                                                              : TSQLiteOpenMode::ReadOnlyImmutable);
}

std::unique_ptr<TSQLiteDatabase> OpenBackupDatabase(const std::string& fileName,
                                                    const std::string& privateFolder) {
    RequireRegularFile(fileName);
    const std::string wal = fileName + "-wal";
    if (FileSizeOf(wal) <= 0) {
        return std::make_unique<TSQLiteDatabase>(fileName, TSQLiteOpenMode::ReadOnlyImmutable);
    }
    if (privateFolder.empty()) {
        throw ESQLiteException(
            fmt::format("Failed to open database \"{}\" : no private folder for its WAL", fileName),
            "no private folder for its WAL");
    }
    static std::atomic<int> counter{0};
    const std::string copy = fmt::format("{}db{}-{}", privateFolder, ++counter, LastPathComponent(fileName));
    if (CopyFileExclusive(fileName, copy) != 0 || CopyFileExclusive(wal, copy + "-wal") != 0) {
        throw ESQLiteException(
            fmt::format("Failed to open database \"{}\" : cannot copy it with its WAL", fileName),
            "cannot copy it with its WAL");
    }
    return std::make_unique<TSQLiteDatabase>(copy, TSQLiteOpenMode::ReadOnly);
}

} // namespace kestrow
