#include <filesystem>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "readers/record_text.h"
#include "readers/short_message.h"
#include "readers/sqlite_database.h"
#include "support/fixed_zone.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TNewSmsDb;
using test::TOldSmsDb;

class Messages : public ::testing::Test {
protected:
    std::string Write(const std::string& sql) {
        const std::string path = FFolder.Path() + "sms" + std::to_string(++FCount) + ".db";
        test::ExecSql(path, sql);
        return path;
    }
    TTempFolder FFolder;
    int FCount = 0;
    test::TFixedZone FZone{"UTC"};
};

TOldSmsDb OldDb() {
    TOldSmsDb db;
    db.Members = {
        {1, "+15550001"}, {2, "+15550002"}, {2, "+15550003"}, {2, "+15550004"}, {3, "anna@example.com"}};
    db.Messages = {
        {10, 1, 1331431724, std::string("Hello\r\nthere"), 3},
        {11, 1, 1331431734, std::string("Back"), 2},
        {12, 2, 1331431800, std::nullopt, 3}, // an MMS
        {13, 1, 0, std::string("no date"), 2},
    };
    db.Pieces = {
        {20, 12, 0, "application/smil", std::string("<smil/>")},
        {21, 12, 1, "text/plain", std::string("Look at this")},
        {22, 12, 2, "image/jpeg", std::string("\xFF\xD8\xFF\xE0jpeg")},
        {23, 12, 3, "video/3gpp", std::nullopt},
        {24, 12, 4, "image/jpeg", std::string("preview"), 0}, // a preview part: never taken
    };
    return db;
}

TEST_F(Messages, OlderSchemaConversationsMessagesAndMmsParts) {
    TShortMessage sms(Write(test::OldSmsSql(OldDb())), 3600);
    EXPECT_FALSE(sms.IsNewSchema());
    ASSERT_EQ(sms.GroupCount(), 3);
    EXPECT_EQ(sms.Groups(0).Addresses, "+15550001");
    EXPECT_FALSE(sms.Groups(0).IsGroupChat);
    EXPECT_EQ(sms.Groups(1).Addresses, "+15550002,+15550003,+15550004");
    EXPECT_TRUE(sms.Groups(1).IsGroupChat);
    EXPECT_EQ(sms.Groups(2).ItemCount(), 0);

    const TMsgGroup& first = sms.Groups(0);
    ASSERT_EQ(first.ItemCount(), 3);
    EXPECT_EQ(first.Items[0].RowId, 10);
    EXPECT_EQ(first.Items[0].Text, "Hello\r\nthere");
    EXPECT_TRUE(first.Items[0].IsSent);
    EXPECT_FALSE(first.Items[1].IsSent);                                 // flags 2: received
    EXPECT_EQ(IsoLocalText(first.Items[0].Date), "2012-03-11T03:08:44"); // 1970 epoch, one hour added
    EXPECT_EQ(first.Items[0].RawDate, 1331431724);
    EXPECT_EQ(first.Items[2].Date, 0);
    EXPECT_FALSE(first.Items[0].IsIMessage);

    const TMsgItem& mms = sms.Groups(1).Items.at(0);
    EXPECT_EQ(mms.Text, "");
    ASSERT_EQ(mms.PieceCount(), 3);
    EXPECT_EQ(mms.Pieces[0].FileName, "12-1.TXT");
    EXPECT_EQ(mms.Pieces[0].Kind, mpkText);
    EXPECT_EQ(mms.Pieces[0].Content, "Look at this");
    EXPECT_EQ(mms.Pieces[0].RowId, 21);
    EXPECT_EQ(mms.Pieces[1].FileName, "12-2.JPG");
    EXPECT_EQ(mms.Pieces[1].Kind, mpkData);
    EXPECT_EQ(mms.Pieces[1].Content, "image/jpeg");
    EXPECT_EQ(mms.Pieces[2].FileName, "12-3.3GP");
    EXPECT_EQ(mms.Pieces[2].Kind, mpkFile); // no data in the database
    EXPECT_EQ(mms.FullText(), "Look at thisimage/jpegvideo/3gpp");
}

TEST_F(Messages, TextOfAConversationAndHtml) {
    TShortMessage sms(Write(test::OldSmsSql(OldDb())), 0);
    const TMsgGroup& first = sms.Groups(0);
    EXPECT_EQ(first.AsText(), "<< 03/11/12 02:08:44\r\nHello\r\nthere\r\n\r\n"
                              ">> 03/11/12 02:08:54\r\nBack\r\n\r\n"
                              ">> \r\nno date\r\n\r\n");
    EXPECT_EQ(HtmlEscape("a < b & \"c\" > d\r\nline\nlone\r"),
              "a &lt; b &amp; &quot;c&quot; &gt; d<br>line\nlone\r");
    EXPECT_EQ(HtmlEscape("&amp;"), "&amp;amp;");
    EXPECT_EQ(first.Items[0].HtmlText(), "Hello<br>there");
}

TEST_F(Messages, PartDataOnDemandNeverReplacesAFile) {
    TShortMessage sms(Write(test::OldSmsSql(OldDb())), 0);
    EXPECT_EQ(sms.GetPartData(22).value_or(""), "\xFF\xD8\xFF\xE0jpeg");
    EXPECT_FALSE(sms.GetPartData(23).has_value()); // NULL data
    EXPECT_FALSE(sms.GetPartData(999).has_value());
    ASSERT_TRUE(sms.SavePartData(FFolder.Path() + "22.JPG", 22));
    std::string saved;
    ASSERT_TRUE(ReadWholeFile(FFolder.Path() + "22.JPG", saved));
    EXPECT_EQ(saved, "\xFF\xD8\xFF\xE0jpeg");
    ASSERT_TRUE(WriteWholeFile(FFolder.Path() + "mine", "mine"));
    EXPECT_FALSE(sms.SavePartData(FFolder.Path() + "mine", 22));
    ASSERT_TRUE(ReadWholeFile(FFolder.Path() + "mine", saved));
    EXPECT_EQ(saved, "mine");
    sms.CloseDatabase();
    EXPECT_TRUE(sms.GetPartData(22).has_value()); // opened again on demand
}

TEST_F(Messages, FirstGenerationIMessages) {
    TOldSmsDb db = OldDb();
    const std::string guid = "at_0_8F3C6E2A-4D41-4B7B-9D7C-\"); DROP TABLE message; --";
    db.Messages.push_back({30, 0, 352000000, std::string("To the room \xEF\xBF\xBC!"), 0, 1, "chat123",
                           "+15550007", 4, test::MadridAttachmentInfo(guid)});
    db.Messages.push_back({31, 0, 352000100, std::string("Me too"), 0, 1, "chat123", "+15550008", 0});
    db.Messages.push_back({32, 0, 352000200, std::string("Again"), 0, 1, "chat123", "+15550007", 0});
    db.Messages.push_back({33, 0, 352000300, std::string("Direct"), 0, 1, "", "ANNA@example.com", 4});
    db.Messages.push_back({34, 0, 352000400, std::string("Stranger"), 0, 1, "", "nobody@example.com", 0});
    db.Messages.push_back({35, 0, 352000500, std::string("Not madrid"), 0, 0, "", "+15550001", 0});
    db.Attachments = {{40, guid, "~/Library/SMS/Attachments/ab/12/IMG_0001.JPG", "image/jpeg"},
                      {41, "other", "~/x.jpg", "image/jpeg"}};
    TShortMessage sms(Write(test::OldSmsSql(db)), 0);
    ASSERT_EQ(sms.GroupCount(), 4);
    const TMsgGroup& room = sms.Groups(3);
    EXPECT_TRUE(room.IsGroupChat);
    EXPECT_TRUE(room.IsIMessage);
    EXPECT_EQ(room.Addresses, "+15550007,+15550008");
    ASSERT_EQ(room.ItemCount(), 3);
    EXPECT_EQ(room.Items[0].Text, "To the room !");
    EXPECT_TRUE(room.Items[0].IsSent);
    EXPECT_TRUE(room.Items[0].IsIMessage);
    EXPECT_EQ(IsoLocalText(room.Items[0].Date), "2012-02-27T01:46:40"); // 2001 epoch
    EXPECT_EQ(room.Items[0].SenderIndex, 0);
    EXPECT_EQ(room.Items[1].SenderIndex, 1); // a new sender extends the addresses
    EXPECT_EQ(room.Items[2].SenderIndex, 0);
    ASSERT_EQ(room.Items[0].PieceCount(), 1);
    EXPECT_EQ(room.Items[0].Pieces[0].RowId, 40);
    EXPECT_EQ(room.Items[0].Pieces[0].Kind, mpkFile);
    EXPECT_EQ(room.Items[0].Pieces[0].FileName, "~/Library/SMS/Attachments/ab/12/IMG_0001.JPG");
    // A one-to-one iMessage joins the SMS conversation of its address (case does not count).
    ASSERT_EQ(sms.Groups(2).ItemCount(), 1);
    EXPECT_EQ(sms.Groups(2).Items[0].Text, "Direct");
    EXPECT_EQ(sms.Groups(0).ItemCount(), 3); // the non-madrid row of group 0 is skipped
}

TEST_F(Messages, OldestDatabaseWithoutIMessageColumns) {
    TOldSmsDb db = OldDb();
    db.MadridColumns = false;
    db.Messages.push_back({30, 0, 352000000, std::string("group 0"), 0});
    TShortMessage sms(Write(test::OldSmsSql(db)), 0);
    EXPECT_EQ(sms.GroupCount(), 3);
    EXPECT_EQ(sms.Groups(0).ItemCount(), 3);
}

TEST(AttachmentGuid, ScanOfTheArchivedInfo) {
    EXPECT_EQ(AttachmentGuidOf(test::MadridAttachmentInfo("at_0_ABC")), "at_0_ABC");
    EXPECT_EQ(AttachmentGuidOf(test::MadridAttachmentInfo(std::string(81, 'g'))), "");
    EXPECT_EQ(AttachmentGuidOf(test::MadridAttachmentInfo(std::string(80, 'g'))), std::string(80, 'g'));
    EXPECT_EQ(AttachmentGuidOf("short NSString"), "");
    EXPECT_EQ(AttachmentGuidOf(std::string(60, 'N')), "");
    std::string cut = test::MadridAttachmentInfo("at_0_ABCDEFGH");
    cut.resize(cut.find("at_0_") + 4); // the length runs past the end: what is there
    cut += std::string(40, '\0');
    EXPECT_EQ(AttachmentGuidOf(cut).substr(0, 4), "at_0");
}

TNewSmsDb NewDb() {
    TNewSmsDb db;
    db.Handles = {{1, "+447700900001"}, {2, "+447700900002"}, {3, "bea@example.com"}};
    db.Chats = {{1, 45, "+447700900001"}, {2, 43, "chat987654", "iMessage"}, {3, 45, "+447700900009"}};
    db.ChatHandles = {{1, 1}, {2, 3}, {2, 2}, {2, 99}};
    db.Messages = {
        {1, std::string("Hi \xEF\xBF\xBC there"), 1, 400000000},
        {2, std::string("Group hello"), 2, 400000100, false, "iMessage", "chat987654"},
        {3, std::string("From Bea"), 3, 400000200, false, "iMessage", "chat987654"},
        {4, std::string("Mine"), 0, 400000300, true, "iMessage", "chat987654"},
        {5, std::string("Orphan"), 1, 400000400},                // no chat: shown nowhere
        {6, std::string("Nanoseconds"), 1, 600000000'000000000}, // devices since 2017
        {7, std::nullopt, 1, 0},
    };
    db.ChatMessages = {{1, 1}, {2, 2}, {2, 3}, {2, 4}, {1, 6}, {1, 7}};
    db.Attachments = {{1, "~/Library/SMS/Attachments/aa/01/a.jpg", "image/jpeg"},
                      {2, "/var/mobile/Library/SMS/Attachments/bb/02/b.mov", "video/quicktime"},
                      {3, "~/unused.jpg", "image/jpeg"}};
    db.MessageAttachments = {{3, 1}, {3, 2}, {5, 3}};
    return db;
}

TEST_F(Messages, NewerSchemaChatsMembersSendersAndAttachments) {
    TShortMessage sms(Write(test::NewSmsSql(NewDb())), 0);
    EXPECT_TRUE(sms.IsNewSchema());
    ASSERT_EQ(sms.GroupCount(), 3);
    const TMsgGroup& one = sms.Groups(0);
    EXPECT_EQ(one.Addresses, "+447700900001");
    EXPECT_FALSE(one.IsGroupChat);
    EXPECT_EQ(one.DisplayName, "");
    ASSERT_EQ(one.ItemCount(), 3);
    EXPECT_EQ(one.Items[0].Text, "Hi  there");
    EXPECT_EQ(one.Items[0].ChatKey, "1");
    EXPECT_EQ(IsoLocalText(one.Items[0].Date), "2013-09-04T15:06:40");
    EXPECT_EQ(IsoLocalText(one.Items[1].Date), "2020-01-06T10:40:00"); // nanoseconds since 2001
    EXPECT_EQ(one.Items[2].Date, 0);
    EXPECT_EQ(one.Items[2].Text, "");

    const TMsgGroup& group = sms.Groups(1);
    EXPECT_TRUE(group.IsGroupChat);
    EXPECT_TRUE(group.IsIMessage);
    EXPECT_EQ(group.DisplayName, "chat987654");
    // Members as the per-chat query gives them through the UNIQUE index: in handle order, unknown 99
    // left out; the sender index follows.
    EXPECT_EQ(group.Addresses, "+447700900002,bea@example.com");
    ASSERT_EQ(group.ItemCount(), 3);
    EXPECT_EQ(group.Items[0].SenderIndex, 0);
    EXPECT_EQ(group.Items[1].SenderIndex, 1);
    EXPECT_TRUE(group.Items[2].IsSent);
    ASSERT_EQ(group.Items[1].PieceCount(), 2);
    EXPECT_EQ(group.Items[1].Pieces[0].FileName, "~/Library/SMS/Attachments/aa/01/a.jpg");
    EXPECT_EQ(group.Items[1].Pieces[1].Content, "video/quicktime");
    EXPECT_EQ(group.Items[1].Pieces[1].RowId, 2);
    EXPECT_EQ(sms.Groups(2).ItemCount(), 0);
}

TEST_F(Messages, TodaysRowsClassifiedOnce) {
    TShortMessage sms(Write(test::NewSmsSql(test::TodaysSms())), 0);
    ASSERT_EQ(sms.GroupCount(), 2);
    const TMsgGroup& trip = sms.Groups(0);
    EXPECT_EQ(trip.GroupName, "Trip");
    EXPECT_EQ(trip.Addresses, "+447700900001,+447700900002,<b>Sam & Co</b>");
    std::vector<std::int32_t> rows;
    for (const TMsgItem& item : trip.Items) {
        rows.push_back(item.RowId);
    }
    // Reactions with a target fold into it; the one whose target is gone stays; 14 is recoverable.
    EXPECT_EQ(rows, (std::vector<std::int32_t>{1, 2, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    const TMsgItem& first = trip.Items[0];
    EXPECT_EQ(first.Sender, "+447700900001");
    EXPECT_EQ(first.SenderIndex, 0);
    ASSERT_EQ(first.Reactions.size(), 1u); // Ben's love; my like was removed later
    EXPECT_EQ(first.Reactions[0].Type, TReactionType::Love);
    EXPECT_EQ(first.Reactions[0].Sender, "+447700900002");
    // The sticker placed on "Great" attaches to it with its picture.
    ASSERT_EQ(trip.Items[1].Reactions.size(), 2u);
    EXPECT_EQ(ReactionSymbol(trip.Items[1].Reactions[0]), "\U0001F389");
    const TMsgReaction& sticker = trip.Items[1].Reactions[1];
    EXPECT_EQ(sticker.Type, TReactionType::Sticker);
    EXPECT_EQ(sticker.Sender, "<b>Sam & Co</b>");
    ASSERT_EQ(sticker.Pieces.size(), 1u);
    EXPECT_EQ(sticker.Pieces[0].FileName, "~/Library/SMS/Attachments/03/sticker.png");
    EXPECT_TRUE(sticker.Pieces[0].IsSticker);
    EXPECT_EQ(trip.Items[2].Text, "Loved \u201cold news\u201d");
    EXPECT_EQ(trip.Items[2].Kind, TMsgRowKind::Message);
    const TMsgItem& edited = trip.Items[3];
    EXPECT_EQ(edited.Text, "Meet at 8");
    EXPECT_TRUE(edited.Edited);
    ASSERT_EQ(edited.Edits.size(), 2u);
    EXPECT_EQ(edited.Edits[0].Text, "Meet at 6");
    EXPECT_EQ(edited.Edits[1].Text, "Meet at 7");
    EXPECT_EQ(IsoLocalText(edited.Edits[1].Date), "2023-03-08T20:35:10");
    EXPECT_TRUE(trip.Items[4].Unsent);
    EXPECT_FALSE(trip.Items[4].Edited);
    EXPECT_EQ(trip.Items[5].ReplyTo, "G8");
    EXPECT_EQ(trip.Items[5].SenderIndex, 2);
    EXPECT_EQ(trip.Items[6].EventText(), "+447700900001 added +447700900002");
    EXPECT_EQ(trip.Items[7].EventText(), "You named the conversation \u201cTrip\u201d");
    EXPECT_EQ(trip.Items[8].EventText(), "+447700900002 left");
    EXPECT_TRUE(trip.Items[9].Deleted);
    const TMsgItem& pictures = trip.Items[10];
    EXPECT_EQ(pictures.Text, "");
    ASSERT_EQ(pictures.PieceCount(), 3);
    EXPECT_EQ(pictures.Pieces[1].TransferName, "Audio Message.caf");
    EXPECT_EQ(pictures.Pieces[1].TotalBytes, 31000);
    EXPECT_FALSE(pictures.Pieces[1].Hidden);
    EXPECT_TRUE(pictures.Pieces[2].Hidden); // kept, marked as the phone hides it
    // An SMS group names the sender of each received message.
    EXPECT_EQ(sms.Groups(1).Items[0].Sender, "+447700900002");
    EXPECT_EQ(sms.Groups(1).Items[0].SenderIndex, 1);
    // Damaged summaries read as no edits.
    for (const std::string& junk : {std::string("bplist00"), std::string(40, '\0'), std::string()}) {
        EXPECT_TRUE(ReadMessageSummary(junk).Edits.empty());
    }
}

TEST_F(Messages, RepeatedJoinRowsKeepTheFirstAndTheReadGoesOn) {
    TNewSmsDb db = NewDb();
    db.UniqueJoins = false;
    db.ChatMessages.push_back({3, 1});       // message 1 listed again, for another chat
    db.MessageAttachments.push_back({4, 1}); // attachment 1 listed again, for another message
    TShortMessage sms(Write(test::NewSmsSql(db)), 0);
    EXPECT_EQ(sms.Groups(0).ItemCount(), 3);
    EXPECT_EQ(sms.Groups(2).ItemCount(), 0);
    EXPECT_EQ(sms.Groups(1).Items[1].PieceCount(), 2);
    EXPECT_EQ(sms.Groups(1).Items[2].PieceCount(), 0);
}

TEST_F(Messages, NoHandlesNoConversationsAndBrokenDatabasesRaise) {
    TNewSmsDb db = NewDb();
    db.Handles.clear();
    EXPECT_EQ(TShortMessage(Write(test::NewSmsSql(db)), 0).GroupCount(), 0);
    EXPECT_EQ(TShortMessage(FFolder.Path() + "missing.db", 0).GroupCount(), 0);
    EXPECT_THROW(TShortMessage(Write("CREATE TABLE handle (ROWID INTEGER PRIMARY KEY, id TEXT);"
                                     "INSERT INTO handle VALUES (1, 'x');"),
                               0),
                 ESQLiteException);
    ASSERT_TRUE(WriteWholeFile(FFolder.Path() + "junk.db", std::string(4096, 'j')));
    EXPECT_THROW(TShortMessage(FFolder.Path() + "junk.db", 0), ESQLiteException);
}

// The real older-schema database keeps everything in its WAL.
TEST_F(Messages, RealDatabaseWhoseDataIsAllInTheWal) {
    const std::string source = std::string(KESTROW_REALDATA) + "/ios5-sms-wal/";
    if (!std::filesystem::exists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    for (const char* name : {"sms.db", "sms.db-wal"}) {
        std::filesystem::copy_file(source + name, FFolder.Path() + name);
    }
    TShortMessage sms(FFolder.Path() + "sms.db", 0);
    ASSERT_EQ(sms.GroupCount(), 2);
    EXPECT_EQ(sms.Groups(0).Addresses, "(209) 598-1933");
    EXPECT_EQ(sms.Groups(0).ItemCount() + sms.Groups(1).ItemCount(), 4);
    const TMsgItem& mms = sms.Groups(0).Items.at(0);
    EXPECT_EQ(mms.RowId, 6);
    ASSERT_EQ(mms.PieceCount(), 2);
    EXPECT_EQ(mms.Pieces[0].FileName, "6-1.TXT");
    EXPECT_EQ(mms.Pieces[0].Content, "Check it ouy");
    EXPECT_EQ(mms.Pieces[1].FileName, "6-0.JPG");
    EXPECT_EQ(mms.Pieces[1].Kind, mpkFile);
    EXPECT_EQ(sms.Groups(0).Items[2].Text, "Sweet");
    EXPECT_FALSE(sms.Groups(0).Items[2].IsSent);
    // Without its WAL the same file holds no tables at all.
    std::filesystem::remove(FFolder.Path() + "sms.db-wal");
    EXPECT_THROW(TShortMessage(FFolder.Path() + "sms.db", 0), ESQLiteException);
}

TEST_F(Messages, RealNewerSchemaDatabase) {
    const std::string source =
        std::string(KESTROW_REALDATA) + "/ios7-testphone/HomeDomain/Library/SMS/sms.db";
    if (!std::filesystem::exists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    TShortMessage sms(source, 0);
    ASSERT_EQ(sms.GroupCount(), 1);
    EXPECT_EQ(sms.Groups(0).Addresses, "4891");
    ASSERT_EQ(sms.Groups(0).ItemCount(), 2);
    EXPECT_EQ(sms.Groups(0).Items[0].Text.substr(0, 10), "VICTORIA, ");
    EXPECT_EQ(IsoLocalText(sms.Groups(0).Items[0].Date), "2015-11-01T21:59:14");
}

} // namespace
} // namespace kestrow
