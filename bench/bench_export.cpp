// Exporting every conversation of the 1,000,000-message database (20,000 conversations, 50,000
// attachments in the backup) as text and as HTML pages with their attachments, from a backup as a
// session opens it. Reported: messages per second and the peak resident memory of the export
// beyond the loaded reader. Target: text at least 200,000 messages/s; memory flat in the number
// of conversations (one page is held at a time).
#include <filesystem>

#include <benchmark/benchmark.h>

#include "archive/ipod_backup.h"
#include "export/messages_export.h"
#include "peak_memory.h"
#include "platform/temp_folder.h"
#include "readers/short_message.h"
#include "sms_bench_db.h"

namespace {

using namespace kestrow;

// One plain backup holding the database and its attachments.
struct TBenchBackup {
    TTempFolder Root;
    TBenchBackup() { bench::WriteSmsBenchBackup(Root.Path(), "bench", true); }
};

void Export(benchmark::State& state, int format) {
    static TBenchBackup backup;
    TIpodBackup session(backup.Root.Path());
    session.SelectBackup(0, "");
    TShortMessage* messages = session.LoadMessages();
    if (messages == nullptr) {
        state.SkipWithError("no messages");
        return;
    }
    const std::vector<int> rows = ListedConversations(*messages);
    const double loaded = bench::PeakMemoryMiB();
    bench::ResetPeakMemory();
    for (auto _ : state) {
        state.PauseTiming();
        TTempFolder out;
        state.ResumeTiming();
        const TExportResult result =
            ExportMessages(session, rows, format, out.Path() + "out", "12/09/26 10:00:00");
        if (result.Count != bench::kChats) {
            state.SkipWithError("not every conversation was written");
        }
        state.PauseTiming();
        std::filesystem::remove_all(out.Path() + "out");
        state.ResumeTiming();
    }
    state.counters["messages_per_s"] =
        benchmark::Counter(static_cast<double>(bench::kMessages) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
    state.counters["reader_MiB"] = loaded;
    state.counters["export_peak_MiB"] = bench::PeakMemoryMiB();
}

void BM_ExportMessagesText1M(benchmark::State& state) {
    Export(state, 2);
}
void BM_ExportMessagesHtml1M(benchmark::State& state) {
    Export(state, 0);
}
BENCHMARK(BM_ExportMessagesText1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_ExportMessagesHtml1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

BENCHMARK_MAIN();
