// The desktop program's largest lists: the file view over a 200,000-file backup and the messages
// view over the 1,000,000-message database. Reported: the time from creating the view to its first
// paint (the reader is loaded before timing starts; its own time is reported beside), and the peak
// resident memory the view adds to the loaded reader. Targets: first paint under 1 s beyond the
// reader's time; memory in proportion to the reader's data (no copy of the records, no widget per
// row). Run under a display: `xvfb-run build/release/bench/bench_views`.
#include <QApplication>
#include <chrono>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "archive/ipod_backup.h"
#include "peak_memory.h"
#include "platform/temp_folder.h"
#include "readers/short_message.h"
#include "sms_bench_db.h"
#include "support/backup_writer.h"
#include "ui/app_setup.h"
#include "ui/views/file_frm.h"
#include "ui/views/msg_frm.h"

namespace {

using namespace kestrow;
using TClock = std::chrono::steady_clock;

constexpr int kFiles = 200'000;

// A current-layout backup of 200,000 files (manifest only) and one holding the message database.
struct TViewBackups {
    TTempFolder Root;
    TViewBackups() {
        test::TBackupPlan files;
        files.FolderName = "a-files";
        files.Layout = test::TLayout::ManifestDb;
        files.WriteContent = false;
        files.Files.reserve(kFiles);
        for (int i = 0; i < kFiles; ++i) {
            test::TTestFile file(
                i % 10 == 0 ? "AppDomain-com.example.app" + std::to_string(i % 50) : "CameraRollDomain",
                "Media/DCIM/" + std::to_string(100 + i / 1000) + "APPLE/IMG_" + std::to_string(i) + ".HEIC",
                "");
            file.RecordedSize = 1000 + i;
            files.Files.push_back(std::move(file));
        }
        test::WriteBackup(Root.Path(), files);

        bench::WriteSmsBenchBackup(Root.Path(), "b-messages", false);
    }
};

TViewBackups& Backups() {
    static TViewBackups backups;
    return backups;
}

// The resident size now, in MiB (VmRSS).
double ResidentMiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

double Seconds(TClock::duration elapsed) {
    return std::chrono::duration<double>(elapsed).count();
}

// Creates the view, shows it and paints it once; the loop times exactly that.
template <typename TView>
void FirstPaint(benchmark::State& state, double readerSeconds, TIpodBackup& session) {
    bench::ResetPeakMemory();
    const double loaded = ResidentMiB(); // the session with its reader, before any view
    for (auto _ : state) {
        auto view = std::make_unique<TView>(session, nullptr);
        view->resize(1088, 600);
        view->show();
        view->repaint();
        QCoreApplication::processEvents();
        state.PauseTiming();
        view.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["reader_s"] = readerSeconds;
    state.counters["loaded_MiB"] = loaded;
    state.counters["view_added_MiB"] = bench::PeakMemoryMiB() - loaded;
}

void BM_FileView200k(benchmark::State& state) {
    TIpodBackup session(Backups().Root.Path());
    const auto start = TClock::now();
    if (session.SelectBackup(0, "") != osOpened || session.Files().Size() != kFiles) {
        state.SkipWithError("the file backup did not open");
        return;
    }
    FirstPaint<TFileFrm>(state, Seconds(TClock::now() - start), session);
}

void BM_MessagesView1M(benchmark::State& state) {
    TIpodBackup session(Backups().Root.Path());
    session.SelectBackup(1, "");
    const auto start = TClock::now();
    TShortMessage* messages = session.LoadMessages();
    session.ResolveMessageNames();
    if (messages == nullptr) {
        state.SkipWithError("no messages");
        return;
    }
    FirstPaint<TMsgFrm>(state, Seconds(TClock::now() - start), session);
}

} // namespace

BENCHMARK(BM_FileView200k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_MessagesView1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

int main(int argc, char** argv) {
    PrepareApplication();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
