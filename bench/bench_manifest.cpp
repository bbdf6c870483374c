// Opening a backup of 200,000 files: Manifest.mbdb plain and encrypted, and an encrypted
// Manifest.db (the password key is derived before timing starts), with the peak resident memory of
// the opening; and a lookup of every table key in the opened file table.
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "archive/ipod_backup.h"
#include "peak_memory.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/crypto_writer.h"
#include "support/keybag_writer.h"
#include "support/mbdb_writer.h"

namespace {

constexpr int kRecords = 200'000;

struct TBackups {
    kestrow::TTempFolder Root;

    TBackups() {
        using namespace kestrow::test;
        TBackupPlan plan;
        plan.Layout = TLayout::None;
        plan.FolderName = "plain";
        WriteBackup(Root.Path(), plan);
        WriteTestFile(Root.Path() + "plain/Manifest.mbdb", Manifest(nullptr));
        plan.FolderName = "encrypted";
        plan.Encrypted = true;
        plan.Password = "pw";
        plan.Iterations = 1;
        WriteBackup(Root.Path(), plan);
        // The keybag written above uses the same seed as this one: its class keys are the same.
        TTestKeyBag keyBag("pw", 1, 3);
        for (std::int32_t clas = 1; clas <= 11; ++clas) {
            keyBag.AddClass(clas, 2, clas == 2 ? 1 : 0);
        }
        WriteTestFile(Root.Path() + "encrypted/Manifest.mbdb", Manifest(&keyBag));
        WriteCurrentLayout();
    }

    // An encrypted current-layout backup of a 2016 keybag (10,000,000 SHA-256 rounds). Writing it
    // derives the password key once, and the process keeps it: the opening below measures
    // everything but the derivation, which bench_kdf measures.
    void WriteCurrentLayout() {
        using namespace kestrow::test;
        TBackupPlan plan;
        plan.FolderName = "zcurrent";
        plan.Layout = TLayout::ManifestDb;
        plan.Encrypted = true;
        plan.Password = "pw";
        plan.KeyBagVersion = 4;
        plan.Iterations = 10'000;
        plan.DoubleIterations = 10'000'000;
        plan.WriteContent = false;
        plan.Files.reserve(kRecords);
        for (int i = 0; i < kRecords; ++i) {
            // Mostly pictures, every fifth record a file of the system or of one of 40 applications.
            const bool media = i % 5 != 0;
            TTestFile file(media        ? "CameraRollDomain"
                           : i % 2 == 0 ? "HomeDomain"
                                        : "AppDomain-com.example.app" + std::to_string(i % 40),
                           media ? "Media/DCIM/" + std::to_string(100 + i / 1000) + "APPLE/IMG_" +
                                       std::to_string(i) + ".HEIC"
                                 : "Library/Data/" + std::to_string(i % 97) + "/item" + std::to_string(i) +
                                       ".dat",
                           "");
            file.RecordedSize = 1000 + i;
            plan.Files.push_back(std::move(file));
        }
        WriteBackup(Root.Path(), plan);
    }

    static std::string Manifest(kestrow::test::TTestKeyBag* keyBag) {
        using namespace kestrow::test;
        std::vector<TMbdbRecordPlan> records;
        records.reserve(kRecords);
        TTestRandom random(3);
        const kestrow::TBytes fileKey = random.Bytes(32);
        const std::string wrapped =
            keyBag != nullptr ? ProtectionPrefix(3) + kestrow::StringOf(keyBag->WrapFileKey(3, fileKey)) : "";
        for (int i = 0; i < kRecords; ++i) {
            TMbdbRecordPlan record;
            record.Domain =
                i % 10 == 0 ? "AppDomain-com.example.app" + std::to_string(i % 50) : "MediaDomain";
            record.Path =
                "Media/DCIM/" + std::to_string(100 + i / 1000) + "APPLE/IMG_" + std::to_string(i) + ".JPG";
            record.Size = 1000 + i;
            record.ProtectionClass = 3;
            record.DataHash = std::string(20, 'h');
            if (keyBag != nullptr) {
                record.EncryptionKey = wrapped;
            }
            records.push_back(std::move(record));
        }
        return MbdbBytes(records);
    }
};

TBackups& Backups() {
    static TBackups backups;
    return backups;
}

void OpenBenchmark(benchmark::State& state, int index) {
    int target = 0;
    {
        kestrow::TIpodBackup session(Backups().Root.Path());
        target = session.Backups()[0].IsEncrypted == (index == 1) ? 0 : 1;
        session.SelectBackup(target, "pw"); // derives and caches the password key outside the timing
    }
    kestrow::bench::ResetPeakMemory();
    for (auto _ : state) {
        auto fresh = std::make_unique<kestrow::TIpodBackup>(Backups().Root.Path());
        if (fresh->SelectBackup(target, "pw") != kestrow::osOpened || fresh->Files().Size() != kRecords) {
            state.SkipWithError("opening failed");
        }
        state.PauseTiming();
        fresh.reset();
        state.ResumeTiming();
    }
    state.counters["peak_rss_MiB"] = kestrow::bench::PeakMemoryMiB();
}

void BM_OpenEncryptedManifestDb200k(benchmark::State& state) {
    {
        kestrow::TIpodBackup session(Backups().Root.Path());
        session.SelectBackup(2, "pw");
    }
    kestrow::bench::ResetPeakMemory();
    for (auto _ : state) {
        auto fresh = std::make_unique<kestrow::TIpodBackup>(Backups().Root.Path());
        if (fresh->SelectBackup(2, "pw") != kestrow::osOpened || fresh->Files().Size() != kRecords) {
            state.SkipWithError("opening failed");
        }
        state.PauseTiming(); // closing the session is not part of the opening
        fresh.reset();
        state.ResumeTiming();
    }
    state.counters["peak_rss_MiB"] = kestrow::bench::PeakMemoryMiB();
}
BENCHMARK(BM_OpenEncryptedManifestDb200k)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindEveryKey200k(benchmark::State& state) {
    kestrow::TIpodBackup session(Backups().Root.Path());
    session.SelectBackup(2, "pw");
    std::vector<std::string> keys;
    for (const auto& [key, file] : session.Files()) {
        keys.push_back(key);
    }
    for (auto _ : state) {
        std::size_t found = 0;
        for (const std::string& key : keys) {
            found += session.Files().Find(key) != nullptr ? 1 : 0;
        }
        if (found != kRecords) {
            state.SkipWithError("a key was not found");
        }
    }
}
BENCHMARK(BM_FindEveryKey200k)->Unit(benchmark::kMillisecond);

void BM_OpenPlainMbdb200k(benchmark::State& state) {
    OpenBenchmark(state, 0);
}
void BM_OpenEncryptedMbdb200k(benchmark::State& state) {
    OpenBenchmark(state, 1);
}
BENCHMARK(BM_OpenPlainMbdb200k)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenEncryptedMbdb200k)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
