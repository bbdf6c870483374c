// The desktop program's largest lists: the file view over a 200,000-file backup and the messages
// view over the 1,000,000-message database. Reported: the time from creating the view to its first
// paint (the reader is loaded before timing starts; its own time is reported beside), and the peak
// resident memory the view adds to the loaded reader. Targets: first paint under 1 s beyond the
// reader's time; memory in proportion to the reader's data (no copy of the records, no widget per
// row). And the first paint of one 10,000-message conversation with 500 HEIC pictures, from creating
// the messages view: to its first bubble in the page (first_text_s, target under 1 s), to the whole
// page parsed (parsed_s) and to the page loaded with every picture (the time; the view decodes them
// as the engine asks for them). And the photo view over a 50,000-picture camera roll (HEIC and JPEG,
// Photos.sqlite): from creating it to its first paint (target under 1 s; the camera roll is read
// before, reader_s), then paged from top to bottom waiting for each page's thumbnails, with the peak
// resident size of the process over it all (peak_MiB, target under 600 MiB). Measured (release,
// 2 shared cores, load 1 to 3): first paint 0.10-0.16 s, reader 0.16-0.27 s, peak 438-442 MiB
// (162 MiB of it loaded before the view), 3,076 pages in 50-69 s. Run under a display:
// `QTWEBENGINE_DISABLE_SANDBOX=1 xvfb-run -a build/release/bench/bench_views`.
#include <QApplication>
#include <QEventLoop>
#include <QListView>
#include <QScrollBar>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <array>
#include <chrono>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include "archive/ipod_backup.h"
#include "archive/photo_library.h"
#include "peak_memory.h"
#include "photo_bench_backup.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "readers/short_message.h"
#include "sms_bench_db.h"
#include "support/backup_writer.h"
#include "support/contacts_writer.h"
#include "support/picture_writer.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"
#include "ui/app_setup.h"
#include "ui/html_pane.h"
#include "ui/views/file_frm.h"
#include "ui/views/msg_frm.h"
#include "ui/views/photo_frm.h"
#include "ui/views/photo_grid.h"

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

constexpr int kConversation = 10'000;

// A backup whose one conversation holds 10,000 messages, every 20th with a 12-megapixel HEIC picture
// (with the phone's 320-pixel thumbnail) in MediaDomain.
struct TConversationBackup {
    TTempFolder Root;
    TConversationBackup() {
        test::TNewSmsDb db;
        db.Handles = {{1, "+447700900001"}};
        db.Chats = {{1, 45, "+447700900001"}};
        db.ChatHandles = {{1, 1}};
        test::TBackupPlan plan;
        plan.FolderName = "c-conversation";
        plan.Layout = test::TLayout::ManifestDb;
        const std::string heic = test::TestHeic(4032, 3024, 200, 90, 40, "", 320);
        for (int i = 1; i <= kConversation; ++i) {
            db.Messages.push_back(
                {i, "A message of ordinary length, like most of them are. " + std::to_string(i), 1,
                 600000000 + i * 60, i % 2 == 0});
            db.ChatMessages.push_back({1, i});
            if (i % 20 == 0) {
                const std::string path = "Library/SMS/Attachments/aa/" + std::to_string(i) + "/IMG.HEIC";
                db.Attachments.push_back({i, "~/" + path, "image/heic", "IMG.HEIC", 1'500'000});
                db.MessageAttachments.push_back({i, i});
                plan.Files.emplace_back("MediaDomain", path, heic);
            }
        }
        const std::string sms = Root.Path() + "sms.db";
        test::ExecSql(sms, test::NewSmsSql(db));
        std::string bytes;
        ReadWholeFile(sms, bytes);
        plan.Files.emplace_back("HomeDomain", "Library/SMS/sms.db", std::move(bytes));
        test::WriteBackup(Root.Path() + "root/", plan);
    }
};

// Creating the view shows its first conversation; the time runs until the page has loaded.
void BM_MessagesView10kConversation(benchmark::State& state) {
    static TConversationBackup backup;
    TIpodBackup session(backup.Root.Path() + "root/");
    session.SelectBackup(0, "");
    TShortMessage* messages = session.LoadMessages();
    session.ResolveMessageNames();
    if (messages == nullptr || messages->GroupCount() != 1 ||
        messages->Groups(0).ItemCount() != kConversation) {
        state.SkipWithError("no conversation of 10,000 messages");
        return;
    }
    double firstSeconds = 0;
    double parsedSeconds = 0;
    for (auto _ : state) {
        const auto start = TClock::now();
        auto view = std::make_unique<TMsgFrm>(session, nullptr);
        auto* pane = view->findChild<THtmlPane*>();
        QEventLoop loop;
        QObject::connect(pane, &THtmlPane::PageLoaded, &loop, &QEventLoop::quit);
        QTimer::singleShot(60'000, &loop, &QEventLoop::quit);
        // The engine shows the first bubbles while it parses the rest; the pictures keep the load
        // open until they are all in. Asked from the application's script world (the page's own
        // scripts are off): 1 once a bubble is in the document, 2 once all of it is.
        auto reached = std::make_shared<std::array<TClock::time_point, 3>>();
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [pane, reached] {
            pane->View()->page()->runJavaScript(
                QStringLiteral(
                    "!document.URL.startsWith('kestrow:') ? 0 : document.readyState != 'loading' ? 2 "
                    ": document.querySelector('.b') ? 1 : 0"),
                QWebEngineScript::ApplicationWorld, [reached](const QVariant& stage) {
                    for (int i = 1; i <= stage.toInt(); ++i) {
                        if ((*reached)[i] == TClock::time_point()) {
                            (*reached)[i] = TClock::now();
                        }
                    }
                });
        });
        poll.start(5);
        view->resize(1088, 600);
        view->show();
        loop.exec();
        state.PauseTiming();
        poll.stop();
        const auto end = TClock::now();
        const auto at = [&](int stage) {
            return (*reached)[stage] == TClock::time_point() ? end : (*reached)[stage];
        };
        firstSeconds += Seconds(at(1) - start);
        parsedSeconds += Seconds(at(2) - start);
        view.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["first_text_s"] = firstSeconds / static_cast<double>(state.iterations());
    state.counters["parsed_s"] = parsedSeconds / static_cast<double>(state.iterations());
}

// A camera roll of 50,000 pictures with Photos.sqlite: HEICs with the phone's 320-pixel thumbnail and
// JPEGs, both 1024 x 768 (the grid's thumbnails come from the embedded thumbnail or scaled decoding,
// so the size of the original matters little here; bench_photos times the decoding of full ones).
struct TPhotoRollBackup {
    TTempFolder Root;
    TPhotoRollBackup() {
        const std::string heic = test::TestHeic(1024, 768, 200, 90, 40, "", 320);
        const std::string jpeg = test::TestJpeg(1024, 768, 90, 140, 200);
        bench::WritePhotoRollBackup(Root.Path(), bench::kRollItems,
                                    [&](int i) { return i % 2 == 0 ? heic : jpeg; });
    }
};

// Whether every cell on screen shows its thumbnail or its final placeholder; asks for those it
// does not yet have, as painting does.
bool ThumbnailsOnScreen(TPhotoFrm& view) {
    QListView* grid = view.Grid();
    const QRect area = grid->viewport()->rect();
    int first = -1;
    int last = -1;
    for (int x = 0; x < area.width(); x += 8) {
        for (const int y : {2, area.height() - 2}) {
            const int row = grid->indexAt(QPoint(x, y)).row();
            if (row >= 0) {
                first = first < 0 ? row : std::min(first, row);
                last = std::max(last, row);
            }
        }
    }
    bool ready = true;
    for (int row = std::max(first, 0); row <= last; ++row) {
        TPhotoGridModel::TThumbState thumb = TPhotoGridModel::Ready;
        const int record = view.Model()->RecordAt(row);
        if (record >= 0 && view.Model()->Thumbnail(record, thumb) == nullptr &&
            thumb == TPhotoGridModel::Pending) {
            ready = false;
        }
    }
    return ready;
}

// From creating the view to its first paint (the camera roll is read before); then the grid is
// paged from top to bottom as with the scroll bar's trough, each page waiting for its thumbnails.
// Reported beside: the peak resident size of the whole process over the scroll (target under
// 600 MiB) and the pages turned.
void BM_PhotosView50k(benchmark::State& state) {
    static TPhotoRollBackup backup;
    TIpodBackup session(backup.Root.Path());
    session.SelectBackup(0, "");
    const auto start = TClock::now();
    const TPhotos* photos = LoadPhotos(session);
    if (photos == nullptr || photos->Count() != bench::kRollItems) {
        state.SkipWithError("no camera roll of 50,000 pictures");
        return;
    }
    const double readerSeconds = Seconds(TClock::now() - start);
    bench::ResetPeakMemory();
    const double loaded = ResidentMiB();
    double scrollSeconds = 0;
    double pages = 0;
    for (auto _ : state) {
        auto view = std::make_unique<TPhotoFrm>(session, nullptr);
        view->resize(1088, 600);
        view->show();
        view->repaint();
        QCoreApplication::processEvents();
        state.PauseTiming();
        const auto scrollStart = TClock::now();
        QScrollBar* bar = view->Grid()->verticalScrollBar();
        for (int still = 0; still < 3;) { // the bottom, three times over: the layout is done
            const int before = bar->value();
            bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
            ++pages;
            const auto shown = TClock::now();
            do {
                QEventLoop wait; // sleeps while the workers decode
                QTimer::singleShot(5, &wait, &QEventLoop::quit);
                wait.exec();
            } while (!ThumbnailsOnScreen(*view) && TClock::now() - shown < std::chrono::seconds(2));
            still = bar->value() == before ? still + 1 : 0;
        }
        scrollSeconds += Seconds(TClock::now() - scrollStart);
        QListView* grid = view->Grid();
        if (!grid->viewport()->rect().contains(
                grid->visualRect(grid->model()->index(grid->model()->rowCount() - 1, 0)))) {
            state.SkipWithError("the grid did not reach its last picture");
            return;
        }
        view.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    const auto runs = static_cast<double>(state.iterations());
    state.counters["reader_s"] = readerSeconds;
    state.counters["loaded_MiB"] = loaded;
    state.counters["peak_MiB"] = bench::PeakMemoryMiB();
    state.counters["scroll_s"] = scrollSeconds / runs;
    state.counters["pages"] = pages / runs;
}

} // namespace

BENCHMARK(BM_FileView200k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_MessagesView1M)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_MessagesView10kConversation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PhotosView50k)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv) {
    PrepareApplication();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
