#include "search/search_index.h"

#include <algorithm>
#include <exception>
#include <future>
#include <stdexcept>
#include <thread>

#include <sqlite3.h>

#include "archive/ipod_backup.h"
#include "readers/notes.h"

namespace kestrow {

namespace {

// Contentless (the texts stay in the readers; snippets are made from them again), without
// positions: what a query needs is which records hold every word.
constexpr const char* kCreateIndex =
    "CREATE VIRTUAL TABLE words USING fts5(body, content='', columnsize=0, detail=none, "
    "tokenize='unicode61 remove_diacritics 2')";

void Execute(sqlite3* db, const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string("Search index: ") + sqlite3_errmsg(db));
    }
}

class TStatement {
public:
    TStatement(sqlite3* db, const char* sql) : FDb(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &FStatement, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("Search index: ") + sqlite3_errmsg(db));
        }
    }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
    ~TStatement() { sqlite3_finalize(FStatement); }
    sqlite3_stmt* operator*() const { return FStatement; }
    // True while rows come; an error ends with an exception.
    bool Step() {
        const int result = sqlite3_step(FStatement);
        if (result != SQLITE_ROW && result != SQLITE_DONE) {
            throw std::runtime_error(std::string("Search index: ") + sqlite3_errmsg(FDb));
        }
        return result == SQLITE_ROW;
    }

private:
    sqlite3* FDb;
    sqlite3_stmt* FStatement = nullptr;
};

// The texts of a record as one text to index, in `body`.
void IndexBody(const TSearchDoc& doc, std::string& body) {
    body.clear();
    for (const TSearchField& field : doc.Fields) {
        body += field.Text;
        body += '\n';
        if (field.Phone) {
            body += PhoneIndexWords(field.Text);
            body += '\n';
        }
    }
}

void Write(TStatement& statement, std::int64_t row, const std::string& body) {
    sqlite3_bind_int64(*statement, 1, static_cast<sqlite3_int64>(row));
    sqlite3_bind_text(*statement, 2, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
    statement.Step();
    sqlite3_reset(*statement);
}

sqlite3* OpenMemoryDatabase() {
    sqlite3* db = nullptr;
    // Each connection is used by one thread at a time: SQLite's per-call locking buys nothing.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(":memory:", &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw std::runtime_error("Search index: no memory database");
    }
    return db;
}

// Records of a large backup are indexed on every core; a small one is not worth a thread.
std::size_t ShardCount(std::size_t records) {
    constexpr std::size_t kRecordsPerThread = 20000;
    const std::size_t cores = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    return std::clamp<std::size_t>(records / kRecordsPerThread, 1, cores);
}

bool Wanted(const TCategoryFilter& categories, int category) {
    return categories.empty() ||
           std::find(categories.begin(), categories.end(), category) != categories.end();
}

void FillRecord(TSearchHit& hit, TSearchDoc& doc) {
    hit.Where = std::move(doc.Where);
    hit.Summary = std::move(doc.Summary);
    hit.RowId = doc.RowId;
    hit.HasRowId = doc.HasRowId;
}

} // namespace

// One in-memory FTS5 database holding a share of the records (BuildShard says which).
class TSearchIndex::TShard {
public:
    TShard() : FDb(OpenMemoryDatabase()) {
        try {
            Execute(FDb, "PRAGMA temp_store=MEMORY"); // sorting and merging never spill to a file either
            Execute(FDb, kCreateIndex);
            // Segments are merged sixteen at a time rather than four: a build of a million records
            // rewrites its words fewer times (a quarter less time), and a query still reads few segments.
            Execute(FDb, "INSERT INTO words(words, rank) VALUES('automerge', 16)");
        } catch (...) {
            sqlite3_close(FDb);
            throw;
        }
    }
    TShard(const TShard&) = delete;
    TShard& operator=(const TShard&) = delete;
    ~TShard() { sqlite3_close(FDb); }
    sqlite3* Db() const { return FDb; }

    std::int64_t TextBytes = 0;
    std::vector<std::pair<std::size_t, std::string>> LockedNotes; // row, the text indexed of it

private:
    sqlite3* FDb;
};

TSearchIndex::TSearchIndex(TIpodBackup& session, std::size_t shards)
    : FSession(session), FShardCount(shards), FTokenizerDb(OpenMemoryDatabase()) {
    FTokenizer = std::make_unique<TTextTokenizer>(FTokenizerDb);
    if (!FTokenizer->IsValid()) {
        FTokenizer.reset();
        sqlite3_close(FTokenizerDb);
        throw std::runtime_error("Search index: SQLite lacks FTS5");
    }
}

TSearchIndex::~TSearchIndex() {
    FOtherShard.reset();
    FMessageShards.clear();
    FTokenizer.reset();
    sqlite3_close(FTokenizerDb);
}

// Every category but the messages, names resolved.
TSearchSources TSearchIndex::LoadOthers() {
    TIpodBackup& s = FSession;
    TSearchSources sources;
    sources.Contacts = s.LoadContacts(true);
    sources.Calls = s.LoadCallLog();
    s.ResolveCallNames();
    sources.Calendar = s.LoadCalendar();
    sources.Notes = s.LoadNotes();
    sources.Safari = s.LoadSafari();
    sources.Voicemail = s.LoadVoiceMail();
    s.ResolveVoiceMailNames();
    sources.Files = &s.Files();
    return sources;
}

// The records are FRefs: first every other category's, then the messages'. Messages not read yet take
// longest to read: the other categories are read, and with `index` indexed, meanwhile. Each category
// has its reader and working folder of its own, and what the loads share (the file table, the
// content files, the log) bears use from several threads.
void TSearchIndex::Refresh(bool index) {
    TIpodBackup& s = FSession;
    const bool messagesRead = s.CategoryState(catMessages) != TCategoryState::NotLoaded;
    auto messages = std::async(std::launch::async, [&s] { return s.LoadMessages(); });
    const TSearchSources others = LoadOthers();
    const bool othersKept = FLoaded && FBackupIndex == s.CurrentIndex() &&
                            others.Contacts == FSources.Contacts && others.Calls == FSources.Calls &&
                            others.Calendar == FSources.Calendar && others.Notes == FSources.Notes &&
                            others.Safari == FSources.Safari && others.Voicemail == FSources.Voicemail;
    if (!othersKept) {
        FLoaded = true;
        FBackupIndex = s.CurrentIndex();
        FSources = others;
        FRefs = AllSearchRefs(FSources);
        FOtherCount = FRefs.size();
        FOtherShard.reset();
        FMessageShards.clear();
    }
    if (index && !FOtherShard && !messagesRead) {
        auto shard = std::make_unique<TShard>();
        BuildShard(*shard, 0, FOtherCount, 1);
        FOtherShard = std::move(shard);
    }
    const TShortMessage* loaded = messages.get();
    s.ResolveMessageNames(); // with the contacts
    if (!othersKept || loaded != FSources.Messages) {
        FSources.Messages = loaded;
        TSearchSources only;
        only.Messages = loaded;
        FRefs.resize(FOtherCount);
        const std::vector<TSearchRef> refs = AllSearchRefs(only);
        FRefs.insert(FRefs.end(), refs.begin(), refs.end());
        FMessageShards.clear();
    }
    if (index) {
        IndexTheRest();
    }
}

// The shards not built yet, side by side: the other categories in one, the messages in as many as
// threads.
void TSearchIndex::IndexTheRest() {
    struct TPart {
        TShard* Shard;
        std::size_t First, End, Step;
    };
    std::vector<TPart> parts;
    if (!FOtherShard) {
        FOtherShard = std::make_unique<TShard>();
        parts.push_back({FOtherShard.get(), 0, FOtherCount, 1});
    }
    std::vector<std::unique_ptr<TShard>> shards;
    if (FMessageShards.empty() && FRefs.size() > FOtherCount) { // a backup without messages needs none
        const std::size_t count = FShardCount != 0 ? FShardCount : ShardCount(FRefs.size() - FOtherCount);
        for (std::size_t k = 0; k < count; ++k) {
            shards.push_back(std::make_unique<TShard>());
            parts.push_back({shards.back().get(), FOtherCount + k, FRefs.size(), count});
        }
    }
    std::vector<std::exception_ptr> errors(parts.size());
    const auto build = [&](std::size_t k) {
        try {
            BuildShard(*parts[k].Shard, parts[k].First, parts[k].End, parts[k].Step);
        } catch (...) {
            errors[k] = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    for (std::size_t k = 1; k < parts.size(); ++k) {
        workers.emplace_back(build, k);
    }
    if (!parts.empty()) {
        build(0);
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (const std::exception_ptr& error : errors) {
        if (error) {
            FOtherShard.reset(); // half built: made again on the next search
            std::rethrow_exception(error);
        }
    }
    if (!shards.empty()) {
        FMessageShards = std::move(shards);
    }
}

// May run on a thread of its own: reads the readers and FRefs, writes only to the shard.
void TSearchIndex::BuildShard(TShard& shard, std::size_t first, std::size_t end, std::size_t step) const {
    Execute(shard.Db(), "BEGIN");
    {
        TStatement insert(shard.Db(), "INSERT INTO words(rowid, body) VALUES(?1, ?2)");
        std::string body; // one buffer for every record
        for (std::size_t i = first; i < end; i += step) {
            IndexBody(SearchDocOf(FSources, FRefs[i]), body);
            shard.TextBytes += static_cast<std::int64_t>(body.size());
            Write(insert, static_cast<std::int64_t>(i), body);
            if (IsLockedNote(FRefs[i])) {
                shard.LockedNotes.emplace_back(i, body);
            }
        }
    }
    Execute(shard.Db(), "COMMIT");
}

bool TSearchIndex::IsLockedNote(const TSearchRef& ref) const {
    if (ref.Category != catNotes || FSources.Notes == nullptr) {
        return false;
    }
    const TNoteLock lock = FSources.Notes->Notes(ref.Record).Lock;
    return lock != TNoteLock::None && lock != TNoteLock::Opened;
}

// The locked notes are among the other categories: their shard keeps what it was given of them.
void TSearchIndex::IndexOpenedNotes() {
    std::vector<std::pair<std::size_t, std::string>>& lockedNotes = FOtherShard->LockedNotes;
    sqlite3* db = FOtherShard->Db();
    std::string body;
    for (auto locked = lockedNotes.begin(); locked != lockedNotes.end();) {
        const auto& [row, indexed] = *locked;
        if (IsLockedNote(FRefs[row])) {
            ++locked;
            continue;
        }
        // A contentless index forgets a record by being told the words it was given.
        TStatement forget(db, "INSERT INTO words(words, rowid, body) VALUES('delete', ?1, ?2)");
        Write(forget, static_cast<std::int64_t>(row), indexed);
        TStatement insert(db, "INSERT INTO words(rowid, body) VALUES(?1, ?2)");
        IndexBody(SearchDocOf(FSources, FRefs[row]), body);
        Write(insert, static_cast<std::int64_t>(row), body);
        FOtherShard->TextBytes += static_cast<std::int64_t>(body.size() - indexed.size());
        locked = lockedNotes.erase(locked);
    }
}

std::string TSearchIndex::MatchExpression(const std::vector<std::string>& words,
                                          const std::string& digits) const {
    std::string all;
    for (const std::string& word : words) {
        all += all.empty() ? "(\"" : " AND \"";
        all += word; // a folded word holds letters and digits only: no quote to double
        all += '"';
    }
    all += all.empty() ? "" : ")";
    if (!digits.empty()) {
        all += all.empty() ? "\"" : " OR \"";
        all += std::string(kPhoneWordPrefix) + digits + "\"*";
    }
    return all;
}

bool TSearchIndex::FillHit(TSearchHit& hit, const std::vector<std::string>& words,
                           const std::string& digits) const {
    TSearchDoc doc = SearchDocOf(FSources, hit.Ref);
    std::size_t best = 0;
    const TSearchField* bestField = nullptr;
    std::vector<TTextMark> bestMarks;
    for (const TSearchField& field : doc.Fields) {
        std::vector<TTextMark> marks;
        std::vector<bool> seen(words.size());
        for (const TTextToken& token : FTokenizer->Tokens(field.Text)) {
            const auto word = std::find(words.begin(), words.end(), token.Folded);
            if (word != words.end()) {
                seen[static_cast<std::size_t>(word - words.begin())] = true;
                marks.push_back(token.Mark);
            }
        }
        std::size_t covered = static_cast<std::size_t>(std::count(seen.begin(), seen.end(), true));
        const TTextMark phone = field.Phone ? PhoneMatch(field.Text, digits) : TTextMark{};
        if (phone.Length > 0) {
            marks = {phone};
            covered = words.size() + 1;
        }
        if (covered > best) {
            best = covered;
            bestField = &field;
            bestMarks = std::move(marks);
        }
    }
    FillRecord(hit, doc);
    if (bestField == nullptr) {
        return false;
    }
    hit.Field = bestField->Name;
    hit.Snippet = MakeSnippet(bestField->Text, bestMarks);
    return true;
}

std::vector<TSearchHit> TSearchIndex::Search(std::string_view text, const TCategoryFilter& categories) {
    Refresh(true);
    IndexOpenedNotes();
    std::vector<std::string> words;
    for (TTextToken& token : FTokenizer->Tokens(text)) {
        if (std::find(words.begin(), words.end(), token.Folded) == words.end()) {
            words.push_back(std::move(token.Folded));
        }
    }
    const std::string digits = PhoneQueryDigits(text);
    std::vector<TSearchHit> hits;
    if (words.empty() && digits.empty()) {
        return hits;
    }
    for (const std::size_t row : MatchingRows(MatchExpression(words, digits))) {
        if (row < FRefs.size() && Wanted(categories, FRefs[row].Category)) {
            TSearchHit& hit = hits.emplace_back();
            hit.Ref = FRefs[row];
            FillHit(hit, words, digits);
        }
    }
    // Newest first, records without a date last; otherwise in category and reader order.
    std::stable_sort(hits.begin(), hits.end(), [](const TSearchHit& a, const TSearchHit& b) {
        if (a.Ref.Date != b.Ref.Date) {
            return a.Ref.Date != 0 && (b.Ref.Date == 0 || a.Ref.Date > b.Ref.Date);
        }
        return a.Ref.Category < b.Ref.Category;
    });
    return hits;
}

// The rows of every shard matching, in row order.
std::vector<std::size_t> TSearchIndex::MatchingRows(const std::string& expression) const {
    std::vector<std::size_t> rows;
    for (const TShard* shard : Shards()) {
        TStatement query(shard->Db(), "SELECT rowid FROM words WHERE words MATCH ?1");
        sqlite3_bind_text(*query, 1, expression.data(), static_cast<int>(expression.size()), SQLITE_STATIC);
        while (query.Step()) {
            rows.push_back(static_cast<std::size_t>(sqlite3_column_int64(*query, 0)));
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<TSearchHit> TSearchIndex::Timeline(double from, double to, const TCategoryFilter& categories) {
    Refresh(false);
    std::vector<TSearchRef> dated;
    for (const TSearchRef& ref : FRefs) {
        if (ref.Date != 0 && (from == 0 || ref.Date >= from) && (to == 0 || ref.Date <= to) &&
            Wanted(categories, ref.Category)) {
            dated.push_back(ref);
        }
    }
    std::stable_sort(dated.begin(), dated.end(), [](const TSearchRef& a, const TSearchRef& b) {
        return a.Date < b.Date || (a.Date == b.Date && a.Category < b.Category);
    });
    std::vector<TSearchHit> entries(dated.size());
    for (std::size_t i = 0; i < dated.size(); ++i) {
        entries[i].Ref = dated[i];
        TSearchDoc doc = SearchDocOf(FSources, dated[i], false);
        FillRecord(entries[i], doc);
    }
    return entries;
}

std::vector<const TSearchIndex::TShard*> TSearchIndex::Shards() const {
    std::vector<const TShard*> shards;
    if (FOtherShard) {
        shards.push_back(FOtherShard.get());
    }
    for (const auto& shard : FMessageShards) {
        shards.push_back(shard.get());
    }
    return shards;
}

std::int64_t TSearchIndex::TextBytes() const {
    std::int64_t bytes = 0;
    for (const TShard* shard : Shards()) {
        bytes += shard->TextBytes;
    }
    return bytes;
}

std::int64_t TSearchIndex::IndexBytes() const {
    std::int64_t bytes = 0;
    for (const TShard* shard : Shards()) {
        TStatement count(shard->Db(), "PRAGMA page_count");
        TStatement size(shard->Db(), "PRAGMA page_size");
        if (count.Step() && size.Step()) {
            bytes += sqlite3_column_int64(*count, 0) * sqlite3_column_int64(*size, 0);
        }
    }
    return bytes;
}

} // namespace kestrow
