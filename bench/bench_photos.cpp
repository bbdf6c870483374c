// The camera roll: `kestrow-cli photos --json` over a backup of 50,000 pictures and videos with
// Photos.sqlite (the whole command: opening, library, JSON; target under 2 s), and thumbnails of
// pictures as the photo view makes them (mixed 12-megapixel JPEGs and HEICs with their embedded
// thumbnails, fitted into 256 pixels, on two threads; target at least 150 a second). And the
// originals exported (`export … photos DEST`, format 0) beside `cp -r` of the same content files:
// the export writes at the speed any copy gets (target: the copy's time, give or take). Measured
// (release, 2 GiB in 500 files just written, page cache): the export 0.78-1.09 s (2.5 GB/s, opening
// the backup and publishing each file whole included), `cp -r` 0.35-0.46 s; both beyond what a disk
// takes.
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <benchmark/benchmark.h>

#include "photo_bench_backup.h"
#include "platform/temp_folder.h"
#include "readers/heif_picture.h"
#include "support/contacts_writer.h"
#include "support/picture_writer.h"

namespace {

using namespace kestrow;

constexpr int kItems = bench::kRollItems;

struct TRollBackup {
    TTempFolder Root;
    TRollBackup() {
        bench::WritePhotoRollBackup(Root.Path(), kItems, [](int) { return std::string("x"); });
    }
};

TRollBackup& Roll() {
    static TRollBackup backup;
    return backup;
}

// The opening alone, for comparison: what `photos --json` adds is the camera roll and its JSON.
void BM_Open50k(benchmark::State& state) {
    const std::string command =
        std::string(KESTROW_CLI) + " --root '" + Roll().Root.Path() + "' open 0 > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("open failed");
            return;
        }
    }
}

void BM_PhotosJson50k(benchmark::State& state) {
    const std::string command =
        std::string(KESTROW_CLI) + " --root '" + Roll().Root.Path() + "' photos 0 --json > /dev/null";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("photos --json failed");
            return;
        }
    }
    state.counters["items"] = kItems;
}

// 500 items of 4 MiB each: 2 GiB, as 500 photos of a phone are.
constexpr int kLargeItems = 500;
constexpr std::size_t kLargeBytes = 4u << 20;

struct TLargeRollBackup {
    TTempFolder Root;
    TLargeRollBackup() {
        bench::WritePhotoRollBackup(Root.Path(), kLargeItems, [](int i) {
            return std::string(kLargeBytes, static_cast<char>('a' + i % 26));
        });
    }
};

TLargeRollBackup& LargeRoll() {
    static TLargeRollBackup backup;
    return backup;
}

void RunTimed(benchmark::State& state, const std::string& command) {
    for (auto _ : state) {
        const TTempFolder out;
        if (std::system((command + " '" + out.Path() + "copy' > /dev/null").c_str()) != 0) {
            state.SkipWithError("the command failed");
            return;
        }
        state.PauseTiming(); // removing the copy is no part of it
        std::filesystem::remove_all(out.Path() + "copy");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLargeItems * kLargeBytes));
}

void BM_ExportOriginals(benchmark::State& state) {
    RunTimed(state, std::string(KESTROW_CLI) + " --root '" + LargeRoll().Root.Path() + "' export 0 photos");
}

void BM_CopyOfTheSameFiles(benchmark::State& state) {
    RunTimed(state, "cp -r '" + LargeRoll().Root.Path() + "roll'");
}

void BM_Thumbnails(benchmark::State& state) {
    // A 12-megapixel JPEG and a HEIC with a 320-pixel thumbnail as the phone writes it.
    static const std::string jpeg = test::TestJpeg(4032, 3024, 90, 140, 200);
    static const std::string heic = test::TestHeic(1024, 768, 200, 90, 40, "", 320);
    constexpr int kPerRound = 32;
    for (auto _ : state) {
        std::atomic<int> next = 0;
        std::atomic<int> made = 0;
        const auto work = [&] {
            for (int i = next++; i < kPerRound; i = next++) {
                std::string error;
                made += DecodePicture(i % 2 == 0 ? jpeg : heic, 256, error).has_value() ? 1 : 0;
            }
        };
        std::thread a(work);
        std::thread b(work);
        a.join();
        b.join();
        if (made != kPerRound) {
            state.SkipWithError("a thumbnail failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kPerRound);
}

} // namespace

BENCHMARK(BM_Open50k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PhotosJson50k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Thumbnails)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportOriginals)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CopyOfTheSameFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
