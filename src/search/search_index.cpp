#include "search/search_index.h"

#include <algorithm>
#include <stdexcept>

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

TSearchIndex::TSearchIndex(TIpodBackup& session) : FSession(session) {
    if (sqlite3_open_v2(":memory:", &FDb, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        sqlite3_close(FDb);
        throw std::runtime_error("Search index: no memory database");
    }
    Execute(FDb, "PRAGMA temp_store=MEMORY"); // sorting and merging never spill to a file either
    FTokenizer = std::make_unique<TTextTokenizer>(FDb);
    if (!FTokenizer->IsValid()) {
        FTokenizer.reset();
        sqlite3_close(FDb);
        throw std::runtime_error("Search index: SQLite lacks FTS5");
    }
}

TSearchIndex::~TSearchIndex() {
    FTokenizer.reset();
    sqlite3_close(FDb);
}

void TSearchIndex::Refresh() {
    TIpodBackup& s = FSession;
    TSearchSources sources;
    sources.Contacts = s.LoadContacts(true);
    sources.Messages = s.LoadMessages();
    s.ResolveMessageNames();
    sources.Calls = s.LoadCallLog();
    s.ResolveCallNames();
    sources.Calendar = s.LoadCalendar();
    sources.Notes = s.LoadNotes();
    sources.Safari = s.LoadSafari();
    sources.Voicemail = s.LoadVoiceMail();
    s.ResolveVoiceMailNames();
    sources.Files = &s.Files();
    const auto same = [&](const TSearchSources& a, const TSearchSources& b) {
        return a.Contacts == b.Contacts && a.Messages == b.Messages && a.Calls == b.Calls &&
               a.Calendar == b.Calendar && a.Notes == b.Notes && a.Safari == b.Safari &&
               a.Voicemail == b.Voicemail;
    };
    if (FLoaded && FBackupIndex == s.CurrentIndex() && same(sources, FSources)) {
        return;
    }
    FLoaded = true;
    FBackupIndex = s.CurrentIndex();
    FSources = sources;
    FRefs = AllSearchRefs(FSources);
    if (FIndexed) {
        Execute(FDb, "DROP TABLE words");
        FIndexed = false;
    }
}

void TSearchIndex::BuildIndex() {
    Execute(FDb, kCreateIndex);
    // Segments are merged sixteen at a time rather than four: a build of a million records rewrites
    // its words fewer times (a quarter less time), and a query still reads few segments.
    Execute(FDb, "INSERT INTO words(words, rank) VALUES('automerge', 16)");
    Execute(FDb, "BEGIN");
    FTextBytes = 0;
    FLockedNotes.clear();
    {
        TStatement insert(FDb, "INSERT INTO words(rowid, body) VALUES(?1, ?2)");
        std::string body; // one buffer for every record
        for (std::size_t i = 0; i < FRefs.size(); ++i) {
            IndexBody(SearchDocOf(FSources, FRefs[i]), body);
            FTextBytes += static_cast<std::int64_t>(body.size());
            Write(insert, static_cast<std::int64_t>(i), body);
            if (IsLockedNote(FRefs[i])) {
                FLockedNotes.emplace_back(i, body);
            }
        }
    }
    Execute(FDb, "COMMIT");
    FIndexed = true;
}

bool TSearchIndex::IsLockedNote(const TSearchRef& ref) const {
    if (ref.Category != catNotes || FSources.Notes == nullptr) {
        return false;
    }
    const TNoteLock lock = FSources.Notes->Notes(ref.Record).Lock;
    return lock != TNoteLock::None && lock != TNoteLock::Opened;
}

void TSearchIndex::IndexOpenedNotes() {
    std::string body;
    for (auto locked = FLockedNotes.begin(); locked != FLockedNotes.end();) {
        const auto& [row, indexed] = *locked;
        if (IsLockedNote(FRefs[row])) {
            ++locked;
            continue;
        }
        // A contentless index forgets a record by being told the words it was given.
        TStatement forget(FDb, "INSERT INTO words(words, rowid, body) VALUES('delete', ?1, ?2)");
        Write(forget, static_cast<std::int64_t>(row), indexed);
        TStatement insert(FDb, "INSERT INTO words(rowid, body) VALUES(?1, ?2)");
        IndexBody(SearchDocOf(FSources, FRefs[row]), body);
        Write(insert, static_cast<std::int64_t>(row), body);
        FTextBytes += static_cast<std::int64_t>(body.size() - indexed.size());
        locked = FLockedNotes.erase(locked);
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
    Refresh();
    if (!FIndexed) {
        BuildIndex();
    }
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
    TStatement query(FDb, "SELECT rowid FROM words WHERE words MATCH ?1");
    const std::string expression = MatchExpression(words, digits);
    sqlite3_bind_text(*query, 1, expression.data(), static_cast<int>(expression.size()), SQLITE_STATIC);
    while (query.Step()) {
        const auto row = static_cast<std::size_t>(sqlite3_column_int64(*query, 0));
        if (row < FRefs.size() && Wanted(categories, FRefs[row].Category)) {
            TSearchHit& hit = hits.emplace_back();
            hit.Ref = FRefs[row];
            FillHit(hit, words, digits);
        }
    }
    // Newest first, records without a date last; otherwise in category and reader order.
    std::stable_sort(hits.begin(), hits.end(), [](const TSearchHit& a, const TSearchHit& b) {
        return a.Ref.Date != 0 && (b.Ref.Date == 0 || a.Ref.Date > b.Ref.Date);
    });
    return hits;
}

std::vector<TSearchHit> TSearchIndex::Timeline(double from, double to, const TCategoryFilter& categories) {
    Refresh();
    std::vector<TSearchRef> dated;
    for (const TSearchRef& ref : FRefs) {
        if (ref.Date != 0 && (from == 0 || ref.Date >= from) && (to == 0 || ref.Date <= to) &&
            Wanted(categories, ref.Category)) {
            dated.push_back(ref);
        }
    }
    std::stable_sort(dated.begin(), dated.end(),
                     [](const TSearchRef& a, const TSearchRef& b) { return a.Date < b.Date; });
    std::vector<TSearchHit> entries(dated.size());
    for (std::size_t i = 0; i < dated.size(); ++i) {
        entries[i].Ref = dated[i];
        TSearchDoc doc = SearchDocOf(FSources, dated[i], false);
        FillRecord(entries[i], doc);
    }
    return entries;
}

std::int64_t TSearchIndex::IndexBytes() const {
    sqlite3_int64 pages = 0;
    sqlite3_int64 pageSize = 0;
    TStatement count(FDb, "PRAGMA page_count");
    if (count.Step()) {
        pages = sqlite3_column_int64(*count, 0);
    }
    TStatement size(FDb, "PRAGMA page_size");
    if (size.Step()) {
        pageSize = sqlite3_column_int64(*size, 0);
    }
    return pages * pageSize;
}

} // namespace kestrow
