// Reading a newer-schema sms.db of 1,000,000 messages in 20,000 conversations with 50,000
// attachments, with the peak resident memory of the read. Target: under 3 s and 1 GiB. And the same
// size in today's schema.
#include <benchmark/benchmark.h>

#include "peak_memory.h"
#include "readers/short_message.h"
#include "sms_bench_db.h"

namespace {

void BM_ReadMessages1M(benchmark::State& state) {
    static kestrow::bench::TSmsBenchDatabase database;
    kestrow::bench::ResetPeakMemory();
    for (auto _ : state) {
        kestrow::TShortMessage sms(database.Path, 3600);
        if (sms.GroupCount() != kestrow::bench::kChats) {
            state.SkipWithError("wrong count");
        }
        state.PauseTiming();
        state.counters["peak_rss_MiB"] = kestrow::bench::PeakMemoryMiB();
        state.ResumeTiming(); // the reader is freed inside the timing, as a session frees it
    }
}
BENCHMARK(BM_ReadMessages1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The same in the iOS 16-18 schema with 200,000 reactions, 20,000 edits and 50,000 attachments, read
// and classified (reactions folded into their targets, edit histories parsed). Target: under 4 s and
// 1 GiB.
void BM_ReadTodaysMessages1M(benchmark::State& state) {
    static kestrow::bench::TSmsBenchDatabase database(true);
    kestrow::bench::ResetPeakMemory();
    for (auto _ : state) {
        kestrow::TShortMessage sms(database.Path, 3600);
        std::size_t items = 0;
        for (int g = 0; g < sms.GroupCount(); ++g) {
            items += sms.Groups(g).Items.size();
        }
        if (items != kestrow::bench::kMessages - kestrow::bench::kReactions) {
            state.SkipWithError("reactions not folded");
        }
        state.PauseTiming();
        state.counters["peak_rss_MiB"] = kestrow::bench::PeakMemoryMiB();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReadTodaysMessages1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
