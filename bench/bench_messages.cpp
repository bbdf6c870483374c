// Reading a newer-schema sms.db of 1,000,000 messages in 20,000 conversations with 50,000
// attachments, with the peak resident memory of the read. Target: under 3 s and 1 GiB. And the same
// size in today's schema; the page of a 10,000-message conversation; HEIC pictures as the chat shows
// them.
#include <benchmark/benchmark.h>

#include "export/chat_page.h"
#include "peak_memory.h"
#include "readers/heif_picture.h"
#include "readers/short_message.h"
#include "sms_bench_db.h"
#include "support/picture_writer.h"

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

// A conversation of 10,000 messages as a phone of today holds it: every 20th with a picture, every
// 5th with a reaction, every 50th edited, every 30th a reply.
kestrow::TMsgGroup TenThousandMessages() {
    kestrow::TMsgGroup group;
    group.IsGroupChat = true;
    group.IsIMessage = true;
    group.Addresses = "+447700900001,+447700900002";
    for (int i = 0; i < 10'000; ++i) {
        kestrow::TMsgItem& item = group.Items.emplace_back();
        item.RowId = i + 1;
        item.Guid = "G" + std::to_string(i);
        item.Date = 45000 + i / 1000.0;
        item.IsSent = i % 2 == 0;
        item.IsIMessage = true;
        item.Sender = item.IsSent ? "" : "+447700900002";
        item.SenderName = item.Sender;
        item.Text = "A message of ordinary length, like most of them are. " + std::to_string(i);
        if (i % 20 == 0) {
            kestrow::TMsgPiece& piece = item.Pieces.emplace_back();
            piece.RowId = i;
            piece.Kind = kestrow::mpkFile;
            piece.FileName = "~/Library/SMS/Attachments/aa/" + std::to_string(i) + "/IMG.HEIC";
            piece.Content = "image/heic";
            piece.TransferName = "IMG.HEIC";
            piece.TotalBytes = 1'500'000;
        }
        if (i % 5 == 1) {
            kestrow::TMsgReaction& reaction = item.Reactions.emplace_back();
            reaction.Sender = "+447700900002";
            reaction.SenderName = "Ben";
            reaction.Date = 45000;
        }
        if (i % 50 == 3) {
            item.Edited = true;
            item.Edits.push_back({45000, "An earlier version"});
        }
        if (i % 30 == 7) {
            item.ReplyTo = "G" + std::to_string(i - 5);
        }
    }
    return group;
}

// The view's page of a 10,000-message conversation, built from the records (pictures named by
// address; the view decodes them when the engine asks: their decoding is measured below). The page is the
// first paint's work on our side; the engine lays it out after. Target, with the engine: under 1 s.
void BM_ChatPage10k(benchmark::State& state) {
    const kestrow::TMsgGroup group = TenThousandMessages();
    kestrow::TChatPageOptions options;
    options.PicturesByAddress = true;
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = kestrow::BuildChatPage(group, options).size();
    }
    state.counters["page_MiB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_ChatPage10k)->Unit(benchmark::kMillisecond)->Iterations(5);

// A HEIC picture of a message as the chat view decodes it: a 12-megapixel picture with the
// 320-pixel thumbnail the phone embeds, fitted into 320 pixels as JPEG (476 for comparison, which
// decodes the whole picture). One thread, as the view works. Target: at least 50 a second.
void BM_ChatHeicPicture(benchmark::State& state) {
    static const std::string heic = kestrow::test::TestHeic(4032, 3024, 200, 90, 40, "", 320);
    const int maxSide = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::string error;
        if (!kestrow::HeifToJpeg(heic, maxSide, error)) {
            state.SkipWithError("the picture did not decode");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChatHeicPicture)->Arg(320)->Arg(476)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
