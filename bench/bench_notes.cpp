// Notes: 10,000 current notes of which 2,000 hold a picture, listed and read with their pictures
// found in the file table; one locked note opened at its iteration count (20,000, as the published
// note), beside the bare PBKDF2 of that count for comparison with `openssl kdf`.
#include <benchmark/benchmark.h>

#include "archive/backup_file.h"
#include "crypto/note_cipher.h"
#include "export/note_media.h"
#include "platform/temp_folder.h"
#include "readers/notes.h"
#include "support/current_stores_writer.h"
#include "support/sqlite_writer.h"

namespace {

using namespace kestrow;

constexpr int kNotes = 10000;
constexpr int kPictures = 2000;

struct TNotesData {
    TTempFolder Folder;
    std::string Store;
    std::string Locked;
    TFileTable Files;

    TNotesData() {
        std::vector<test::TCurrentNote> notes;
        std::vector<test::TNoteAttachmentRow> attachments;
        const std::string mark = "\xEF\xBF\xBC";
        for (int i = 0; i < kNotes; ++i) {
            test::TCurrentNote note{"Note " + std::to_string(i), "", 700000000.0 + i};
            const std::string text =
                "Note " + std::to_string(i) + "\nA line of the note's body, with some words.\n";
            if (i % (kNotes / kPictures) == 0) {
                const std::string id = "PIC-" + std::to_string(i);
                note.Protobuf = test::NoteProtobufRuns(
                    text + mark, {{.Length = 7, .Style = 0},
                                  {.Length = static_cast<std::uint32_t>(text.size() - 7)},
                                  {.Length = 1, .AttachmentId = id, .AttachmentUti = "public.jpeg"}});
                attachments.push_back({id, "public.jpeg", "", "MED-" + std::to_string(i), "IMG.jpeg"});
                Files.AddRecord("AppDomainGroup-group.com.apple.notes",
                                "Accounts/ACC-1/Media/MED-" + std::to_string(i) + "/IMG.jpeg", {});
            } else {
                note.Text = text;
            }
            notes.push_back(std::move(note));
        }
        for (int i = 0; i < 50000; ++i) { // the rest of a backup
            Files.AddRecord("HomeDomain", "Library/Other/file" + std::to_string(i), {});
        }
        Store = Folder.Path() + "NoteStore.sqlite";
        test::ExecSql(Store, test::NoteStoreSql(notes, attachments));
        test::TCurrentNote locked{"Locked"};
        locked.Lock = test::PublishedLockedNote();
        locked.CryptoOnData = true;
        Locked = Folder.Path() + "Locked.sqlite";
        test::ExecSql(Locked, test::NoteStoreSql({locked}));
    }
};

const TNotesData& Data() {
    static const TNotesData data;
    return data;
}

void BM_NotesListAndRead(benchmark::State& state) {
    const TNotesData& data = Data();
    for (auto _ : state) {
        const TNotes notes(data.Store, 0);
        const TNoteMedia media(data.Files);
        std::size_t found = 0;
        std::size_t bytes = 0;
        for (int i = 0; i < notes.Count(); ++i) {
            bytes += notes.NoteText(i).size();
            for (const TNoteAttachment& attachment : notes.Notes(i).Attachments) {
                found += media.KeyOf(notes.Notes(i), attachment).empty() ? 0 : 1;
            }
        }
        if (found != kPictures) {
            state.SkipWithError("pictures not found");
        }
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_NotesListAndRead)->Unit(benchmark::kMillisecond);

void BM_LockedNoteOpen(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        TNotes notes(Data().Locked, 0);
        state.ResumeTiming();
        if (notes.OpenNote(0, "password") != TNoteOpenResult::Opened) {
            state.SkipWithError("not opened");
        }
    }
}
BENCHMARK(BM_LockedNoteOpen)->Unit(benchmark::kMillisecond);

void BM_NoteKek20k(benchmark::State& state) {
    const TBytes salt = BytesOf(test::PublishedLockedNote().Salt);
    TBytes kek;
    for (auto _ : state) {
        DeriveNoteKek("password", salt, 20000, kek);
        benchmark::DoNotOptimize(kek.data());
    }
}
BENCHMARK(BM_NoteKek20k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
