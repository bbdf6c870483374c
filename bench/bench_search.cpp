// Search and timeline over one backup of 1,000,000 messages, 20,000 contacts, 50,000 calls, 10,000
// notes, 50,000 Safari visits and 200,000 files. Targets: the first search with the index build under
// 4 s, every later one under 100 ms, the index under 1.5 times the texts it holds, the timeline of
// everything under 2 s, memory under 1.5 GiB in all.
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <benchmark/benchmark.h>

#include "archive/ipod_backup.h"
#include "peak_memory.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "search/search_index.h"
#include "sms_bench_db.h"
#include "support/backup_writer.h"
#include "support/call_writer.h"
#include "support/contacts_writer.h"
#include "support/current_stores_writer.h"
#include "support/notes_writer.h"
#include "support/sqlite_writer.h"

namespace {

using namespace kestrow;

constexpr int kContacts = 20'000;
constexpr int kCalls = 50'000;
constexpr int kNotes = 10'000;
constexpr int kVisits = 50'000;
constexpr int kFiles = 200'000;

// Phones index the visits by item; without it the reader's latest-visit query is quadratic.
constexpr const char* kVisitIndex =
    "CREATE INDEX history_visits__history_item ON history_visits (history_item);";

std::string Database(const std::string& path, const std::string& sql) {
    test::ExecSql(path,
                  "PRAGMA synchronous=OFF; BEGIN;" + sql + "COMMIT;"); // one transaction: no sync per row
    std::string bytes;
    ReadWholeFile(path, bytes);
    return bytes;
}

std::string Number(int i) {
    return "+44 7700 " + std::to_string(100000 + i);
}

void AddContactsAndCalls(const std::string& work, test::TBackupPlan& plan) {
    test::TContactsDb contacts;
    for (int i = 1; i <= kContacts; ++i) {
        contacts.Persons.push_back({.RowId = i,
                                    .First = "First" + std::to_string(i),
                                    .Last = "Last" + std::to_string(i),
                                    .Organization = "Company " + std::to_string(i % 500),
                                    .Note = "Met at the conference " + std::to_string(i % 50)});
        contacts.Values.push_back(
            {.Uid = i, .RecordId = i, .Property = 3, .Identifier = 0, .Label = 1, .Value = Number(i)});
    }
    plan.Files.emplace_back("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                            Database(work + "ab.sqlitedb", test::ContactsSql(contacts)));
    std::vector<test::TCallRow> calls;
    for (int i = 0; i < kCalls; ++i) {
        calls.push_back(
            {.Address = Number(i % (kContacts * 2)), .Date = 600000000.0 + i * 60, .Duration = i % 600});
    }
    plan.Files.emplace_back("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
                            Database(work + "calls", test::CallHistoryStoreDataSql(calls)));
}

void AddNotesAndHistory(const std::string& work, test::TBackupPlan& plan) {
    std::vector<test::TNoteRow> notes;
    for (int i = 0; i < kNotes; ++i) {
        std::string body = "<div>Note " + std::to_string(i) + "</div>";
        for (int line = 0; line < 8; ++line) {
            body += "<div>Some remembered thing number " + std::to_string(i * 8 + line) + " to keep</div>";
        }
        notes.push_back({"Note " + std::to_string(i), body, 600000000.0 + i * 300});
    }
    plan.Files.emplace_back("HomeDomain", "Library/Notes/notes.sqlite",
                            Database(work + "notes.sqlite", test::NotesSqliteSql(notes)));
    std::vector<test::THistoryDbItem> items;
    std::vector<test::THistoryVisit> visits;
    for (int i = 1; i <= kVisits; ++i) {
        items.push_back(
            {i, "https://site" + std::to_string(i % 3000) + ".example/page/" + std::to_string(i)});
        visits.push_back({i, 600000000.0 + i * 30, "Page " + std::to_string(i) + " of a site"});
    }
    plan.Files.emplace_back("HomeDomain", "Library/Safari/History.db",
                            Database(work + "History.db", test::HistoryDbSql(items, visits) + kVisitIndex));
}

// The backup, written once per run; or once into KESTROW_BENCH_SEARCH_ROOT (a folder of one's own)
// and read from there by later runs, so that profiling a change does not write it again.
struct TBenchBackup {
    TTempFolder Temp;
    std::string Root = Temp.Path();
    TBenchBackup() {
        if (const char* root = std::getenv("KESTROW_BENCH_SEARCH_ROOT"); root != nullptr && *root != '\0') {
            Root = std::string(root) + "/";
            if (std::filesystem::exists(Root + "search")) {
                return;
            }
            std::filesystem::create_directories(Root);
        }
        TTempFolder work;
        bench::TSmsBenchDatabase sms;
        test::TBackupPlan plan;
        plan.FolderName = "search";
        plan.Layout = test::TLayout::ManifestDb;
        std::string bytes;
        ReadWholeFile(sms.Path, bytes);
        plan.Files.emplace_back("HomeDomain", "Library/SMS/sms.db", std::move(bytes));
        AddContactsAndCalls(work.Path(), plan);
        AddNotesAndHistory(work.Path(), plan);
        for (int i = 0; i < kFiles; ++i) {
            plan.Files.emplace_back("CameraRollDomain",
                                    "Media/DCIM/" + std::to_string(100 + i / 1000) + "APPLE/IMG_" +
                                        std::to_string(i) + ".JPG",
                                    "");
        }
        test::WriteBackup(Root, plan);
    }
};

TBenchBackup& Backup() {
    static TBenchBackup backup;
    return backup;
}

std::unique_ptr<TIpodBackup> OpenWithReaders() {
    auto session = std::make_unique<TIpodBackup>(Backup().Root);
    session->SelectBackup(0, "");
    session->LoadContacts(true);
    session->LoadMessages();
    session->ResolveMessageNames();
    session->LoadCallLog();
    session->ResolveCallNames();
    session->LoadNotes();
    session->LoadSafari();
    return session;
}

// Reading every database, as opening the views does; not part of the search's own targets.
void BM_LoadReaders(benchmark::State& state) {
    Backup();
    bench::ResetPeakMemory();
    for (auto _ : state) {
        benchmark::DoNotOptimize(OpenWithReaders());
    }
    state.counters["peak_rss_MiB"] = bench::PeakMemoryMiB();
}

// Index build and the first search, readers loaded; then later searches, the sizes and the timeline.
void BM_FirstSearch(benchmark::State& state) {
    const auto session = OpenWithReaders();
    bench::ResetPeakMemory();
    for (auto _ : state) {
        TSearchIndex index(*session);
        const auto hits = index.Search("message 4711");
        if (hits.empty()) {
            state.SkipWithError("nothing found");
        }
        state.PauseTiming();
        state.counters["index_MiB"] = static_cast<double>(index.IndexBytes()) / (1 << 20);
        state.counters["text_MiB"] = static_cast<double>(index.TextBytes()) / (1 << 20);
        state.counters["index_per_text"] =
            static_cast<double>(index.IndexBytes()) / static_cast<double>(index.TextBytes());
        state.counters["peak_rss_MiB"] = bench::PeakMemoryMiB(); // readers and index
        state.ResumeTiming();
    }
}

// The same from a backup just opened, as `kestrow-cli search` does: reading every database included.
void BM_FirstSearchFromOpening(benchmark::State& state) {
    Backup();
    for (auto _ : state) {
        TIpodBackup session(Backup().Root);
        session.SelectBackup(0, "");
        TSearchIndex index(session);
        benchmark::DoNotOptimize(index.Search("message 4711"));
    }
}

TSearchIndex& BuiltIndex() {
    static const auto session = OpenWithReaders();
    static TSearchIndex index(*session);
    static bool built = !index.Search("warm").empty() || true;
    benchmark::DoNotOptimize(built);
    return index;
}

void BM_LaterSearch(benchmark::State& state, const char* text) {
    TSearchIndex& index = BuiltIndex();
    std::size_t count = 0;
    for (auto _ : state) {
        count = index.Search(text).size();
    }
    state.counters["hits"] = static_cast<double>(count);
}

void BM_Timeline(benchmark::State& state) {
    TSearchIndex& index = BuiltIndex();
    std::size_t count = 0;
    for (auto _ : state) {
        count = index.Timeline(0, 0).size();
    }
    state.counters["entries"] = static_cast<double>(count);
    state.counters["peak_rss_MiB"] = bench::PeakMemoryMiB();
}

BENCHMARK(BM_LoadReaders)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FirstSearch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_FirstSearchFromOpening)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK_CAPTURE(BM_LaterSearch, one_message, "message 4711")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LaterSearch, contact_name, "first1234")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LaterSearch, phone_digits, "7700 101 23")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LaterSearch, note_word, "remembered 4242")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_LaterSearch, common_word_10k, "conference")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_Timeline)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

BENCHMARK_MAIN();
