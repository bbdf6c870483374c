// The session's readers: databases taken out of plain and encrypted backups with their WAL, each
// category in its own working folder, failures kept to their category, message parts copied.
#include <filesystem>

#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "archive/name_resolution.h"
#include "export/file_export.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/call_writer.h"
#include "support/crypto_writer.h"
#include "support/current_stores_writer.h"
#include "support/file_tree.h"
#include "support/safari_writer.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::TTestFile;

std::string FileBytes(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(ReadWholeFile(path, bytes)) << path;
    return bytes;
}

// sms.db as a phone leaves it: the conversations checkpointed, the newest messages only in the WAL.
void AddSmsWithWal(const std::string& work, std::vector<TTestFile>& files) {
    test::TNewSmsDb base;
    base.Handles = {{1, "+447700900001"}};
    base.Chats = {{1, 45, "+447700900001"}};
    base.Messages = {{1, std::string("checkpointed"), 1, 400000000}};
    base.ChatMessages = {{1, 1}};
    test::TNewSmsDb fresh;
    fresh.Messages = {{2, std::string("only in the WAL"), 1, 400000500, true}};
    fresh.ChatMessages = {{1, 2}};
    fresh.Attachments = {{1, "~/Library/SMS/Attachments/ab/12/IMG_0001.JPG", "image/jpeg"},
                         {2, "/var/mobile/Library/SMS/Attachments/cd/34/clip.mov", "video/quicktime"},
                         {3, "~/Library/SMS/Attachments/ee/99/gone.jpg", "image/jpeg"}};
    fresh.MessageAttachments = {{2, 1}, {2, 2}, {2, 3}};
    std::string walSql = test::NewSmsSql(fresh);
    walSql = walSql.substr(walSql.find("INSERT")); // the tables exist already
    test::WriteDatabaseWithWal(work + "sms.db", test::NewSmsSql(base), walSql);
    files.emplace_back("HomeDomain", "Library/SMS/sms.db", FileBytes(work + "sms.db"));
    files.emplace_back("HomeDomain", "Library/SMS/sms.db-wal", FileBytes(work + "sms.db-wal"));
    files.emplace_back("MediaDomain", "Library/SMS/Attachments/ab/12/IMG_0001.JPG", "jpeg bytes");
    files.emplace_back("MediaDomain", "Library/SMS/Attachments/cd/34/clip.mov", "movie bytes");
}

struct TReaderCase {
    test::TLayout Layout;
    bool Encrypted;
};

class SessionReaders : public ::testing::TestWithParam<TReaderCase> {
protected:
    void SetUp() override {
        TBackupPlan plan;
        plan.FolderName = "phone";
        plan.Layout = GetParam().Layout;
        plan.Encrypted = GetParam().Encrypted;
        plan.Password = "pw";
        AddSmsWithWal(FWork.Path(), plan.Files);
        test::ExecSql(FWork.Path() + "calls.db",
                      test::CallHistoryStoreDataSql({{"+447700900001", 400000000, 65}}));
        plan.Files.emplace_back("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
                                FileBytes(FWork.Path() + "calls.db"));
        test::WriteBackup(FRoot.Path(), plan);
        FSession = std::make_unique<TIpodBackup>(FRoot.Path());
        ASSERT_EQ(FSession->SelectBackup(0, "pw"), osOpened);
    }
    TTempFolder FRoot;
    TTempFolder FWork;
    TTempFolder FOut;
    std::unique_ptr<TIpodBackup> FSession;
};

TEST_P(SessionReaders, TheWalIsReadAndEveryCategoryKeepsItsFiles) {
    TShortMessage* sms = FSession->LoadMessages();
    ASSERT_NE(sms, nullptr);
    EXPECT_EQ(FSession->CategoryState(catMessages), TCategoryState::Loaded);
    ASSERT_EQ(sms->GroupCount(), 1);
    ASSERT_EQ(sms->Groups(0).ItemCount(), 2);
    EXPECT_EQ(sms->Groups(0).Items[1].Text, "only in the WAL");
    EXPECT_EQ(FSession->LoadMessages(), sms); // once per opening
    TCallLog* calls = FSession->LoadCallLog();
    ASSERT_NE(calls, nullptr);
    EXPECT_EQ(calls->Count(), 1);
    EXPECT_EQ(calls->Calls(0)->DurationText, "1:05");
    // The messages' working copy is still there after the calls were opened.
    EXPECT_TRUE(FileExists(sms->FileName()));
    EXPECT_EQ(FSession->CategoryState(catContacts), TCategoryState::NotLoaded);
    // Nothing of the backup's own folder was used as a working file.
    EXPECT_EQ(sms->FileName().rfind(FRoot.Path(), 0), std::string::npos);
    const std::string folder = ParentFolder(sms->FileName());
    FSession->CloseReaders();
    EXPECT_FALSE(PathExists(folder));
    EXPECT_EQ(FSession->CategoryState(catMessages), TCategoryState::NotLoaded);
}

TEST_P(SessionReaders, AttachmentsCopyThroughTheirThreePathForms) {
    TShortMessage* sms = FSession->LoadMessages();
    ASSERT_NE(sms, nullptr);
    const TMsgItem& item = sms->Groups(0).Items.at(1);
    std::vector<std::string> names;
    FSession->CopyMessageParts(FOut.Path() + "parts", item.Pieces, &names);
    EXPECT_EQ(names, (std::vector<std::string>{"1.JPG", "2.mov"})); // only the files written
    EXPECT_EQ(FileBytes(FOut.Path() + "parts/1.JPG"), "jpeg bytes");
    EXPECT_EQ(FileBytes(FOut.Path() + "parts/2.mov"), "movie bytes");
    EXPECT_FALSE(PathExists(FOut.Path() + "parts/3.jpg"));
    EXPECT_NE(FSession->LogText().find(FOut.Path() + "parts/3.jpg:mms copy:61"), std::string::npos);
    std::string preview;
    EXPECT_TRUE(FSession->LoadMessagePart("/var/mobile/Library/SMS/Attachments/cd/34/clip.mov", preview, -1));
    EXPECT_EQ(preview, "movie bytes");
    EXPECT_FALSE(FSession->LoadMessagePart("/elsewhere/clip.mov", preview, -1));
}

INSTANTIATE_TEST_SUITE_P(Layouts, SessionReaders,
                         ::testing::Values(TReaderCase{test::TLayout::Mbdb, false},
                                           TReaderCase{test::TLayout::Mbdb, true},
                                           TReaderCase{test::TLayout::ManifestDb, true}));

// A WAL beside a plain backup's sms.db that the manifest does not list is no part of the backup: its
// message is not read, and reading adds no file ("-shm") to the backup folder, nor changes one.
TEST(SessionReaderFailures, AnUnlistedWalIsIgnoredAndTheBackupFolderStaysAsItWas) {
    for (const test::TLayout layout : {test::TLayout::Mbdb, test::TLayout::ManifestDb}) {
        TTempFolder root;
        TTempFolder work;
        TBackupPlan plan;
        plan.FolderName = "plain";
        plan.Layout = layout;
        AddSmsWithWal(work.Path(), plan.Files);
        plan.Files.erase(plan.Files.begin() + 1); // the WAL's entry
        const std::string folder = test::WriteBackup(root.Path(), plan);
        const std::string id = test::OpenSslSha1Hex("HomeDomain-Library/SMS/sms.db");
        const std::string content =
            folder + (layout == test::TLayout::ManifestDb ? id.substr(0, 2) + "/" : "");
        ASSERT_TRUE(WriteWholeFile(content + id + "-wal", FileBytes(work.Path() + "sms.db-wal")));
        const auto snapshot = [&folder] {
            std::string all;
            for (const std::string& name : test::NamesBelow(folder)) {
                std::string bytes; // none for a folder
                ReadWholeFile(folder + name, bytes);
                all += name + "\n" + bytes + "\n";
            }
            return all;
        };
        const std::string before = snapshot();
        TIpodBackup session(root.Path());
        ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
        TShortMessage* sms = session.LoadMessages();
        ASSERT_NE(sms, nullptr);
        ASSERT_EQ(sms->GroupCount(), 1);
        ASSERT_EQ(sms->Groups(0).ItemCount(), 1);
        EXPECT_EQ(sms->Groups(0).Items[0].Text, "checkpointed");
        std::string part;
        EXPECT_FALSE(session.LoadMessagePart("", part, 1)); // a later connection, in place alike
        session.CloseReaders();
        EXPECT_EQ(snapshot(), before);
        EXPECT_FALSE(PathExists(content + id + "-shm"));
    }
}

TEST(SessionReaderFailures, ADamagedDatabaseFailsItsOwnCategoryOnly) {
    TTempFolder root;
    TTempFolder work;
    TTempFolder out;
    TBackupPlan plan;
    plan.FolderName = "damaged";
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "SQLite format 3" + std::string(5000, 'x'))};
    test::ExecSql(work.Path() + "calls.db", test::CallHistoryDbSql({{"555", 1339531490, 20}}));
    plan.Files.emplace_back("HomeDomain", "Library/CallHistory/call_history.db",
                            FileBytes(work.Path() + "calls.db"));
    test::WriteBackup(root.Path(), plan);
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    EXPECT_EQ(session.LoadMessages(), nullptr);
    EXPECT_EQ(session.CategoryState(catMessages), TCategoryState::Failed);
    EXPECT_EQ(session.CategoryError(catMessages), "Library/SMS/sms.db: file is not a database");
    EXPECT_NE(session.LogText().find(session.CategoryError(catMessages)), std::string::npos);
    ASSERT_NE(session.LoadCallLog(), nullptr);
    EXPECT_EQ(session.LoadCallLog()->Count(), 1);
    EXPECT_EQ(ExportAllFiles(session, out.Path(), false).Exported, 2u);
    EXPECT_EQ(session.CategoryState(catCalendar), TCategoryState::NotLoaded);
}

class RealAddressBook : public ::testing::TestWithParam<TReaderCase> {};

// The real iOS 15 address book keeps its recent contacts and every picture in its WAL files.
TEST_P(RealAddressBook, ContactsAndPicturesComeWithTheirWal) {
    const std::string source = std::string(KESTROW_REALDATA) + "/ios15-addressbook/";
    if (!std::filesystem::exists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    TTempFolder root;
    TBackupPlan plan;
    plan.FolderName = "ios15";
    plan.Layout = GetParam().Layout;
    plan.Encrypted = GetParam().Encrypted;
    plan.Password = "pw";
    for (const char* name : {"AddressBook.sqlitedb", "AddressBook.sqlitedb-wal", "AddressBookImages.sqlitedb",
                             "AddressBookImages.sqlitedb-wal"}) {
        plan.Files.emplace_back("HomeDomain", std::string("Library/AddressBook/") + name,
                                FileBytes(source + name));
    }
    test::WriteBackup(root.Path(), plan);
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, "pw"), osOpened);
    const TAddressBook* book = session.LoadContacts();
    ASSERT_NE(book, nullptr);
    ASSERT_EQ(book->Count(), 9);
    EXPECT_EQ(book->FindNameByPhone("(919) 802-7080"), "De'Fer Thom");
    int thumbnails = 0;
    for (int i = 0; i < book->Count(); ++i) {
        thumbnails += book->GetPerson(i).ThumbnailData ? 1 : 0;
    }
    EXPECT_EQ(thumbnails, 2);
    EXPECT_TRUE(book->GetPhotoStream(3).has_value());
}

INSTANTIATE_TEST_SUITE_P(Layouts, RealAddressBook,
                         ::testing::Values(TReaderCase{test::TLayout::Mbdb, false},
                                           TReaderCase{test::TLayout::Mbdb, true},
                                           TReaderCase{test::TLayout::ManifestDb, true}));

// Safari's history is found in three places, binary or XML, and converted before it is read; the
// bookmarks category itself follows Bookmarks.db and Library/Safari/History.plist only.
TEST(SessionSafari, HistoryInEachOfItsThreePlaces) {
    const struct {
        const char* Domain;
        const char* Path;
        bool Binary;
        bool Category;
    } places[] = {{"AppDomain-com.apple.mobilesafari", "Library/Safari/History.plist", true, false},
                  {"HomeDomain", "Library/Safari/History.plist", false, true},
                  {"HomeDomain", "Library/Maps/History.plist", true, false}};
    for (const auto& place : places) {
        for (bool encrypted : {false, true}) {
            TTempFolder root;
            TBackupPlan plan;
            plan.FolderName = "safari";
            plan.Encrypted = encrypted;
            plan.Password = "pw";
            plan.Files = {TTestFile(
                place.Domain, place.Path,
                test::HistoryPlist({{"https://one.example/", "One"}, {"https://two.example/", "Two"}},
                                   place.Binary))};
            test::WriteBackup(root.Path(), plan);
            TIpodBackup session(root.Path());
            ASSERT_EQ(session.SelectBackup(0, "pw"), osOpened);
            EXPECT_EQ(session.HasCategory(catBookmarks), place.Category) << place.Path;
            const TSafari* safari = session.LoadSafari();
            ASSERT_NE(safari, nullptr) << place.Path;
            EXPECT_FALSE(safari->HasBookmarks());
            ASSERT_EQ(safari->HistoryCount(), 2) << place.Path << encrypted;
            EXPECT_EQ(safari->History(1).Title, "Two");
        }
    }
}

// Phones since 2016: notes in the notes application's group container, Safari's history in History.db.
TEST(SessionCurrentStores, NoteStoreAndHistoryDbAreFoundAndRead) {
    for (const test::TLayout layout : {test::TLayout::Mbdb, test::TLayout::ManifestDb}) {
        TTempFolder root;
        TTempFolder work;
        TBackupPlan plan;
        plan.FolderName = "current";
        plan.Layout = layout;
        plan.Encrypted = true;
        plan.Password = "pw";
        test::WriteDatabaseWithWal(
            work.Path() + "notes", test::NoteStoreSql({{"First", "one"}}),
            test::NoteStoreRowsSql({{"Second", "two"}}, 1)); // the second note only in the WAL
        plan.Files.emplace_back("AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
                                FileBytes(work.Path() + "notes"));
        plan.Files.emplace_back("AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite-wal",
                                FileBytes(work.Path() + "notes-wal"));
        test::ExecSql(work.Path() + "history",
                      test::HistoryDbSql({{1, "https://one.example/"}}, {{1, 700000000, "One"}}));
        plan.Files.emplace_back("AppDomain-com.apple.mobilesafari", "Library/Safari/History.db",
                                FileBytes(work.Path() + "history"));
        test::WriteBackup(root.Path(), plan);
        TIpodBackup session(root.Path());
        ASSERT_EQ(session.SelectBackup(0, "pw"), osOpened);
        EXPECT_TRUE(
            session.Files().Contains("NoteStore.sqlite")); // "AppDomainGroup-" is no application domain
        EXPECT_TRUE(session.HasCategory(catNotes));
        EXPECT_TRUE(session.HasCategory(catBookmarks));
        const TNotes* notes = session.LoadNotes();
        ASSERT_NE(notes, nullptr);
        ASSERT_EQ(notes->Count(), 2);
        EXPECT_EQ(notes->NoteText(1), "two");
        const TSafari* safari = session.LoadSafari();
        ASSERT_NE(safari, nullptr);
        ASSERT_EQ(safari->HistoryCount(), 1);
        EXPECT_EQ(safari->History(0).Title, "One");
    }
}

TEST(SessionReaderFailures, EachFailingDatabaseFailsItsOwnCategory) {
    TTempFolder root;
    TBackupPlan plan;
    plan.FolderName = "broken";
    const std::string junk = "SQLite format 3" + std::string(3000, '?');
    for (const char* path :
         {"Library/Calendar/Calendar.sqlitedb", "Library/Notes/notes.sqlite", "Library/Safari/Bookmarks.db",
          "Library/Voicemail/voicemail.db", "Library/AddressBook/AddressBook.sqlitedb"}) {
        plan.Files.emplace_back("HomeDomain", path, junk);
    }
    plan.Files.emplace_back("HomeDomain", "Library/Voicemail/1.amr", "#!AMR\n");
    test::WriteBackup(root.Path(), plan);
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    EXPECT_EQ(session.LoadCalendar(), nullptr);
    EXPECT_EQ(session.LoadNotes(), nullptr);
    EXPECT_EQ(session.LoadSafari(), nullptr);
    EXPECT_EQ(session.LoadVoiceMail(), nullptr);
    EXPECT_EQ(session.LoadContacts(), nullptr);
    for (int category : {catCalendar, catNotes, catBookmarks, catVoicemails, catContacts}) {
        EXPECT_EQ(session.CategoryState(category), TCategoryState::Failed) << category;
    }
    EXPECT_EQ(session.LoadCallLog(), nullptr);
    EXPECT_EQ(session.CategoryState(catCalls), TCategoryState::Absent);
    std::string audio;
    EXPECT_TRUE(session.LoadBackupFile("Library/Voicemail/1.amr", audio)); // a file of its own: unaffected
    EXPECT_EQ(audio, "#!AMR\n");
}

TEST(NameResolution, GroupChatsAndCallsWithAndWithoutContacts) {
    TTempFolder folder;
    test::TNewSmsDb db;
    db.Handles = {{1, "+1"}, {2, "+2"}, {3, "+3"}, {4, "+4"}};
    db.Chats = {
        {1, 45, "+1"}, {2, 43, "c2", "iMessage"}, {3, 43, "c3", "iMessage"}, {4, 43, "c4", "iMessage"}};
    db.ChatHandles = {{2, 1}, {2, 2}, {3, 1}, {3, 2}, {3, 3}, {3, 4}};
    test::ExecSql(folder.Path() + "sms.db", test::NewSmsSql(db));
    const TNameByPhone names = [](const std::string& phone) { return phone == "+1" ? "Anna" : phone; };
    TShortMessage sms(folder.Path() + "sms.db", 0);
    ResolveMessageNames(sms, names);
    EXPECT_TRUE(sms.NamesResolved);
    EXPECT_EQ(sms.Groups(0).DisplayName, "Anna");
    EXPECT_EQ(sms.Groups(1).Addresses, " Anna, +2");
    EXPECT_EQ(sms.Groups(1).DisplayName, "Anna, +2");
    EXPECT_EQ(sms.Groups(2).Addresses, " Anna, +2, +3, +4");
    EXPECT_EQ(sms.Groups(2).DisplayName, "Anna, +2 and 2 more");
    EXPECT_EQ(sms.Groups(3).DisplayName, "c4"); // nobody known in it: its own name stays
    TShortMessage plain(folder.Path() + "sms.db", 0);
    ResolveMessageNames(plain, {});
    EXPECT_EQ(plain.Groups(0).DisplayName, "+1");

    test::ExecSql(folder.Path() + "calls.db", test::CallHistoryDbSql([] {
                      std::vector<test::TCallRow> rows{{"+1", 1339531490, 20}, {"+9", 1339531490, 20}};
                      rows[0].ContactId = 5;
                      rows[1].ContactId = 6;
                      return rows;
                  }()));
    TCallLog calls(folder.Path() + "calls.db", 0);
    ResolveCallNames(calls, names,
                     [](std::int64_t id) { return id == 5 ? std::string("Anna A") : std::string(); });
    EXPECT_EQ(calls.Calls(0)->DisplayName, "Anna A");
    EXPECT_EQ(calls.Calls(1)->DisplayName, "+9"); // no such contact: the address
}

} // namespace
} // namespace kestrow
