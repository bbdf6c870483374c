// Current notes as written (styles, lists, attachments, tables), store versions, locked notes.
#include <gtest/gtest.h>

#include "crypto/note_cipher.h"
#include "platform/date_time.h"
#include "platform/temp_folder.h"
#include "readers/note_body.h"
#include "readers/notes.h"
#include "readers/protobuf_reader.h"
#include "support/current_stores_writer.h"
#include "support/fixed_zone.h"
#include "support/hex.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TRunSpec;

// The published vector of one locked note (password "password").
const test::TNoteLockValues kVector = test::PublishedLockedNote();
const TBytes kSalt = BytesOf(kVector.Salt);
const TBytes kWrapped = BytesOf(kVector.WrappedKey);
const TBytes kIv = BytesOf(kVector.Iv);
const TBytes kTag = BytesOf(kVector.Tag);
const std::string kCipher = kVector.Data;

class NoteStore : public ::testing::Test {
protected:
    std::string Write(const std::string& sql) {
        const std::string path = FFolder.Path() + "store" + std::to_string(++FCount) + ".sqlite";
        test::ExecSql(path, sql);
        return path;
    }
    // Text and runs, each run's length counted in UTF-16 units.
    void Add(const std::string& text, TRunSpec run = {}) {
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            run.Length += (byte & 0xC0) != 0x80 ? (byte >= 0xF0 ? 2 : 1) : 0;
        }
        FText += text;
        FRuns.push_back(run);
    }
    TTempFolder FFolder;
    int FCount = 0;
    std::string FText;
    std::vector<TRunSpec> FRuns;
    test::TFixedZone FZone{"UTC"};
};

TEST(NoteCipher, PublishedVectorStepByStep) {
    TBytes kek;
    ASSERT_TRUE(DeriveNoteKek("password", kSalt, 20000, kek));
    EXPECT_EQ(kek, test::FromHex("652be86143348a6e0106095880bcf31b"));
    TBytes key;
    ASSERT_TRUE(UnwrapNoteKey(kek, kWrapped, key));
    EXPECT_EQ(key, test::FromHex("023aae7c450a283b23e3d7c1416ad644"));
    std::string gzipped;
    ASSERT_TRUE(AesGcmDecrypt(key, kIv, kTag, kCipher, gzipped));
    EXPECT_EQ(NoteStoreText(gzipped), "Encrypted title\n\nEncrypted body");
    TBytes badTag = kTag;
    badTag[15] ^= 1;
    EXPECT_FALSE(AesGcmDecrypt(key, kIv, badTag, kCipher, gzipped));
    EXPECT_EQ(gzipped, "");
    kek[0] ^= 1;
    EXPECT_FALSE(UnwrapNoteKey(kek, kWrapped, key));
}

TEST_F(NoteStore, EveryStyleListAttachmentAndTable) {
    Add("Trip\n", {.Style = 0});
    Add("Plan\n", {.Style = 1});
    Add("Sub\n", {.Style = 2});
    Add("code()\nx<y\n", {.Style = 4});
    Add("Bags\n", {.Style = 100});
    Add("Socks\n", {.Style = 100, .Indent = 1});
    Add("Tea\n", {.Style = 101});
    Add("One\n", {.Style = 102});
    Add("Done \xF0\x9F\x98\x80\n", {.Style = 103, .Done = 1}); // the emoji counts two units
    Add("Open\n", {.Style = 103, .Done = 0});
    Add("Bold", {.Weight = 1});
    Add(" ");
    Add("Italic", {.Weight = 2});
    Add(" ");
    Add("Under", {.Underline = true});
    Add(" ");
    Add("Strike", {.Strike = true});
    Add(" ");
    Add("Link", {.Link = "https://example.org/?a=1&b=2"});
    Add("\nPic: ");
    Add("\xEF\xBF\xBC", {.AttachmentId = "IMG-1", .AttachmentUti = "public.jpeg"});
    Add("\n");
    Add("\xEF\xBF\xBC", {.AttachmentId = "TBL-1", .AttachmentUti = "com.apple.notes.table"});
    Add("\n\xEF\xBF\xBC"); // a mark without an attachment stands for nothing
    Add("\xEF\xBF\xBC",
        {.AttachmentId = "TAG-1", .AttachmentUti = "com.apple.notes.inlinetextattachment.hashtag"});
    const std::string styled = test::NoteProtobufRuns(FText, FRuns);
    // Over 300 bytes, with runs longer than 127 units: lengths of two varint bytes.
    const std::string longText = std::string(150, 'a') + "\n" + std::string(200, 'b');
    const std::string longNote =
        test::NoteProtobufRuns(longText, {{.Length = 151}, {.Length = 200, .Weight = 1}});
    TNotes notes(
        Write(test::NoteStoreSql(
            {{"Trip", "", 0, false, {}, styled}, {"Long", "", 0, false, {}, longNote}},
            {{"IMG-1", "public.jpeg", "", "MED-1", "IMG_0001.jpeg"},
             {"TBL-1", "com.apple.notes.table", "", "", "", "",
              test::TableMergeData({{"Item", "Qty"}, {"Milk", "2"}, {"Eggs & ham", "12"}})},
             {"TAG-1", "com.apple.notes.inlinetextattachment.hashtag", "", "", "", "", "", "#tag"}})),
        0);
    ASSERT_EQ(notes.Count(), 2);
    const TNoteItem& trip = notes.Notes(0);
    EXPECT_EQ(
        trip.Body,
        "<h1>Trip</h1><h2>Plan</h2><h3>Sub</h3><pre>code()\nx&lt;y</pre><ul><li>Bags</li><ul><li>Socks"
        "</li></ul></ul><ul class=\"dashed\"><li>\xE2\x80\x93 Tea</li></ul><ol><li>One</li></ol><ul "
        "class=\"checklist\"><li>\xE2\x98\x91 Done \xF0\x9F\x98\x80</li><li>\xE2\x98\x90 Open</li></ul>"
        "<b>Bold</b> <i>Italic</i> <u>Under</u> <s>Strike</s> <a "
        "href=\"https://example.org/?a=1&amp;b=2\">Link</a><br>Pic: \xEF\xBF\xBC<br>\xEF\xBF\xBC<br>#tag");
    EXPECT_EQ(notes.NoteText(0),
              "Trip\r\nPlan\r\nSub\r\ncode()\r\nx<y\r\nBags\r\nSocks\r\nTea\r\nOne\r\n[x] Done "
              "\xF0\x9F\x98\x80\r\n[ ] Open\r\nBold Italic Under Strike Link\r\nPic: "
              "[IMG_0001.jpeg]\r\n[table]\r\n#tag");
    ASSERT_EQ(trip.Attachments.size(), 2u);
    EXPECT_EQ(trip.Attachments[0].Kind, TNoteAttachmentKind::Picture);
    ASSERT_EQ(trip.Attachments[0].Media.size(), 1u);
    EXPECT_EQ(trip.Attachments[0].Media[0].MediaId, "MED-1");
    EXPECT_EQ(trip.Attachments[1].Cells,
              (std::vector<std::vector<std::string>>{{"Item", "Qty"}, {"Milk", "2"}, {"Eggs & ham", "12"}}));
    EXPECT_EQ(notes.Notes(1).Body, std::string(150, 'a') + "<br><b>" + std::string(200, 'b') + "</b>");
}

TEST_F(NoteStore, FoldersAccountsAndDatesOfEveryColumnNumbering) {
    for (const test::TNoteStoreVersion& version :
         {test::TNoteStoreVersion{}, test::TNoteStoreVersion{"ZACCOUNT8", "ZCREATIONDATE3"},
          test::TNoteStoreVersion{"ZACCOUNT2", "ZCREATIONDATE1"}}) {
        test::TCurrentNote pinned{"Pinned", "a", 700000000};
        pinned.Pinned = true;
        pinned.Created = 600000000;
        test::TCurrentNote gone{"Gone", "b", 700000100};
        gone.InTrash = true;
        TNotes notes(Write(test::NoteStoreSql({pinned, gone}, {}, version)), 0);
        ASSERT_EQ(notes.Count(), 2);
        EXPECT_EQ(notes.Notes(0).Folder, "Notes");
        EXPECT_EQ(notes.Notes(0).Account, "iCloud");
        EXPECT_EQ(notes.Notes(0).AccountId, "ACC-1");
        EXPECT_TRUE(notes.Notes(0).Pinned);
        EXPECT_FALSE(notes.Notes(0).Deleted);
        EXPECT_EQ(IsoLocalText(notes.Notes(0).CreatedDate), "2020-01-06T10:40:00");
        EXPECT_EQ(notes.Notes(1).Folder, "Recently Deleted");
        EXPECT_TRUE(notes.Notes(1).Deleted);
        EXPECT_EQ(notes.Notes(1).CreatedDate, 0); // none stored
    }
}

TEST_F(NoteStore, LockedNotesOpenWithTheirPassword) {
    test::TCurrentNote published{"Published"};
    published.Lock = test::TNoteLockValues{StringOf(kSalt), 20000,          StringOf(kWrapped),
                                           StringOf(kIv),   StringOf(kTag), kCipher};
    published.CryptoOnData = true;
    const auto locked = [](const std::string& title, std::uint32_t seed) {
        test::TCurrentNote note{title};
        note.Lock = test::LockNoteData("hunter2", test::NoteData(title + "\nsecret"), 1000, seed);
        return note;
    };
    test::TCurrentNote passcode{"Passcode", "", 0, true};
    test::TCurrentNote damaged = locked("Damaged", 9);
    damaged.Lock->Tag[0] ^= 1;
    TNotes notes(
        Write(test::NoteStoreSql({published, locked("First", 7), locked("Second", 8), passcode, damaged})),
        0);
    ASSERT_EQ(notes.Count(), 5);
    EXPECT_EQ(notes.LockedCount(), 4);
    EXPECT_EQ(notes.NoteText(0), "(locked note)");
    EXPECT_EQ(notes.OpenNote(0, "Password"), TNoteOpenResult::WrongPassword);
    EXPECT_EQ(notes.OpenNote(0, "password"), TNoteOpenResult::Opened);
    EXPECT_EQ(notes.NoteText(0), "Encrypted title\r\n\r\nEncrypted body");
    EXPECT_EQ(notes.Notes(0).Lock, TNoteLock::Opened);
    EXPECT_EQ(notes.OpenNote(3, "hunter2"), TNoteOpenResult::Passcode);
    // One password opens every note locked with it, whatever its salt; the damaged one says so.
    EXPECT_EQ(notes.OpenLockedNotes({"nope", "hunter2"}), 2);
    EXPECT_EQ(notes.NoteText(1), "First\r\nsecret");
    EXPECT_EQ(notes.NoteText(2), "Second\r\nsecret");
    EXPECT_EQ(notes.Notes(4).Lock, TNoteLock::Damaged);
    EXPECT_EQ(notes.OpenNote(4, "hunter2"), TNoteOpenResult::Damaged);
    EXPECT_EQ(notes.NoteText(4), "(locked note)");
    EXPECT_STREQ(NoteOpenText(TNoteOpenResult::WrongPassword), "Wrong password for this note.");
    EXPECT_STREQ(NoteOpenText(TNoteOpenResult::Passcode),
                 "This note is locked with the device passcode and cannot be opened from a backup.");
    EXPECT_STREQ(NoteOpenText(TNoteOpenResult::Damaged),
                 "This note's encrypted data is damaged and cannot be opened.");
}

TEST_F(NoteStore, BodiesShareOneSizeBudget) {
    const std::string text(1000, 'x');
    TNotes notes(Write(test::NoteStoreSql({{"A", text}, {"B", text}, {"C", text}, {"D", ""}})), 0, 2500);
    EXPECT_FALSE(notes.Notes(1).Cut);
    EXPECT_TRUE(notes.Notes(2).Cut);
    EXPECT_EQ(notes.NoteText(2), "(note too large to read)");
    EXPECT_FALSE(notes.Notes(3).Cut); // a small note after it still fits
    EXPECT_EQ(notes.NoteText(1), text);
}

} // namespace
} // namespace kestrow
