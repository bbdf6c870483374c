// Every category written in every format from a backup as devices leave it (encrypted, with live
// WALs), read back byte for byte; and hostile names that must neither break a file nor leave the
// chosen folder.
#include <csignal>
#include <filesystem>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "export/backup_files_export.h"
#include "export/calendar_export.h"
#include "export/calls_export.h"
#include "export/contacts_export.h"
#include "export/messages_export.h"
#include "export/notes_export.h"
#include "export/safari_export.h"
#include "export/voicemail_export.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "readers/address_book.h"
#include "readers/picture.h"
#include "support/backup_writer.h"
#include "support/call_writer.h"
#include "support/contacts_writer.h"
#include "support/csv_reader.h"
#include "support/demo_data.h"
#include "support/file_tree.h"
#include "support/fixed_zone.h"
#include "support/mime_reader.h"
#include "support/picture_writer.h"
#include "support/safari_writer.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TBackupPlan;

std::string Read(const std::string& path) {
    EXPECT_TRUE(PathExists(path)) << path;
    return test::FileText(path);
}

std::vector<int> Rows(int count) {
    std::vector<int> rows;
    for (int i = 0; i < count; ++i) {
        rows.push_back(i);
    }
    return rows;
}

const std::string kBom = "\xEF\xBB\xBF";

// The demo data of a current phone in an encrypted backup, read in UTC.
class CategoryExport : public ::testing::Test {
protected:
    void SetUp() override {
        TBackupPlan plan;
        plan.FolderName = "phone";
        plan.DeviceName = "Chloe's iPhone";
        plan.Encrypted = true;
        plan.Password = "pw";
        plan.Layout = test::TLayout::ManifestDb;
        const auto generation = test::TDemoGeneration::Current;
        for (const auto add :
             {test::AddDemoContacts, test::AddDemoMessages, test::AddDemoCalls, test::AddDemoCalendar,
              test::AddDemoNotes, test::AddDemoSafari, test::AddDemoVoicemail}) {
            add(FWork.Path(), generation, plan.Files);
        }
        test::WriteBackup(FRoot.Path(), plan);
        FSession = std::make_unique<TIpodBackup>(FRoot.Path());
        ASSERT_EQ(FSession->SelectBackup(0, "pw"), osOpened);
    }
    std::string Out(const std::string& name) const { return FOut.Path() + name + "/"; }

    test::TFixedZone FZone{"UTC"};
    TTempFolder FWork;
    TTempFolder FRoot;
    TTempFolder FOut;
    std::unique_ptr<TIpodBackup> FSession;
};

TEST_F(CategoryExport, ContactsAsVCardsOneVCardCsvAndPhotos) {
    const std::vector<int> all = Rows(5);
    EXPECT_EQ(ExportContacts(*FSession, all, 0, Out("cards")).Count, 5);
    EXPECT_EQ(test::NamesBelow(Out("cards")),
              (std::vector<std::string>{"City Dental Practice.vcf", "Dubois Marie Chlo\xC3\xA9.vcf",
                                        "Lindqvist Bea.vcf", "Okafor Ben.vcf", "Taylor Anna.vcf"}));
    const std::string anna = Read(Out("cards") + "Taylor Anna.vcf");
    EXPECT_EQ(anna.rfind("BEGIN:VCARD\r\n", 0), 0u);
    EXPECT_TRUE(
        std::all_of(anna.begin(), anna.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }));

    EXPECT_EQ(ExportContacts(*FSession, {0, 2, 4}, 1, Out("single")).Count, 3);
    const std::string single = Read(Out("single") + "Chloe's iPhone_Contact.vcf");
    EXPECT_EQ(single.rfind("BEGIN:VCARD", 0), 0u);
    EXPECT_EQ(single.substr(single.size() - 9), "END:VCARD"); // no line break after the last
    std::size_t cards = 0;
    for (std::size_t at = single.find("END:VCARD\r\n\r\nBEGIN:VCARD"); at != std::string::npos;
         at = single.find("END:VCARD\r\n\r\nBEGIN:VCARD", at + 1)) {
        ++cards;
    }
    EXPECT_EQ(cards, 2u);

    EXPECT_EQ(ExportContacts(*FSession, {1}, 2, Out("csv")).Count, 1);
    const std::string csv = Read(Out("csv") + "Chloe's iPhone_Contact.csv");
    ASSERT_EQ(csv.substr(0, 3), kBom);
    EXPECT_EQ(csv.substr(3, std::string(kContactsCsvHeader).size()), kContactsCsvHeader);
    const auto records = test::ReadCsv(csv.substr(3));
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ((*records)[0].size(), 46u);
    EXPECT_EQ((*records)[1].size(), 46u);
    EXPECT_EQ((*records)[1][0], "Ben");

    // Only Anna has a stored picture: her file holds its bytes unchanged.
    EXPECT_EQ(ExportContacts(*FSession, all, 3, Out("photos")).Count, 1);
    EXPECT_EQ(Read(Out("photos") + "Taylor Anna.jpg"), test::TestJpeg(640, 640, 70, 130, 180));
}

// Runs `run` with writes beyond `limit` bytes failing (EFBIG), as on a full disk.
template <typename TRun> auto WithFileSizeLimit(rlim_t limit, const TRun& run) {
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit low = saved;
    low.rlim_cur = limit;
    ::setrlimit(RLIMIT_FSIZE, &low);
    auto result = run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    return result;
}

TEST_F(CategoryExport, MessagesAsPagesWithAttachmentsTwiceAndAsText) {
    const std::vector<int> rows = ListedConversations(*FSession->LoadMessages());
    ASSERT_EQ(rows.size(), 3u);
    for (int run = 0; run < 2; ++run) {
        const TExportResult result = ExportMessages(*FSession, rows, 0, Out("html"), "12/09/26 10:00:00");
        EXPECT_EQ(result.Count, 3);
        EXPECT_TRUE(result.Failures.empty());
    }
    EXPECT_EQ(test::NamesBelow(Out("html")),
              (std::vector<std::string>{
                  "Taylor Anna, bea@example.com and 1 more.html",
                  "Taylor Anna, bea@example.com and 1 more_1.html", "Taylor Anna.html", "Taylor Anna_1.html",
                  "bea@example.com.html", "bea@example.com_1.html", "bea@example.com_1_files",
                  "bea@example.com_1_files/1.pdf", "bea@example.com_files", "bea@example.com_files/1.pdf"}));
    EXPECT_EQ(Read(Out("html") + "bea@example.com_1_files/1.pdf"), "%PDF-1.4 demo tickets\n%%EOF\n");
    const std::string page = Read(Out("html") + "bea@example.com_1.html");
    EXPECT_EQ(page.rfind(kBom + "<!DOCTYPE html><head><title>bea@example.com</title>", 0), 0u);
    EXPECT_NE(
        page.find("<p>bea@example.com bea@example.com, exported 12/09/26 10:00:00</p><div class=\"b l\">Here "
                  "are the tickets <div><a href=\"bea%40example.com_1_files/1.pdf\">Play "
                  "application/pdf</a></div>"),
        std::string::npos);

    // As a web archive: one file holding the page and the attachment, no folder left behind.
    EXPECT_EQ(ExportMessages(*FSession, {rows[1]}, 1, Out("mht"), "").Count, 1);
    EXPECT_EQ(test::NamesBelow(Out("mht")), std::vector<std::string>{"bea@example.com.mht"});
    const auto archive = test::ReadMime(Read(Out("mht") + "bea@example.com.mht"));
    ASSERT_TRUE(archive);
    ASSERT_EQ(archive->Parts.size(), 2u);
    EXPECT_NE(archive->Parts[0].Body.find("<a href=\"1.pdf\">Play application/pdf</a>"), std::string::npos);
    EXPECT_EQ(archive->Parts[1].Body, "%PDF-1.4 demo tickets\n%%EOF\n");
    // A full disk (a file-size limit here) failing the page or the archive: nothing of it stays.
    const auto pageSize = static_cast<rlim_t>(page.size());
    for (const rlim_t limit : {rlim_t{100}, pageSize}) {
        const TExportResult full = WithFileSizeLimit(
            limit, [&] { return ExportMessages(*FSession, {rows[1]}, 1, Out("full"), ""); });
        EXPECT_EQ(full.Count, 0);
        ASSERT_EQ(full.Failures.size(), 1u);
        EXPECT_EQ(full.Failures[0].Error, EFBIG);
        EXPECT_EQ(test::NamesBelow(Out("full")), std::vector<std::string>{}) << limit;
    }

    EXPECT_EQ(ExportMessages(*FSession, {rows[2]}, 2, Out("text"), "").Count, 1);
    EXPECT_EQ(Read(Out("text") + "Taylor Anna, bea@example.com and 1 more.txt"),
              kBom + "Group:  Taylor Anna, bea@example.com, Lindqvist Bea\r\n\r\n"
                     ">> 06/13/24 22:03:20\r\nTaylor Anna:\r\nWho's bringing the cake?\r\n\r\n"
                     ">> 06/13/24 22:05:00\r\nLindqvist Bea:\r\nI will \xF0\x9F\x8E\x82\r\n\r\n"
                     "<< 06/13/24 22:06:40\r\nPerfect, I'll bring candles.\r\n\r\n");
}

TEST_F(CategoryExport, CallsCalendarAndNotesAsOneFileEach) {
    EXPECT_EQ(ExportCalls(*FSession, {3, 0}, 0, Out("calls")).Count, 2);
    EXPECT_EQ(Read(Out("calls") + "Chloe's iPhone_CallHistory.txt"),
              kBom + "Date Dial Missed Facetime Duration Number Name\r\n"
                     "06/13/24 19:16:40    0:00 +447700900789 \"Lindqvist Bea\"\r\n"
                     "06/13/24 18:26:40 Yes   1:35 +447700900123 \"Taylor Anna\"\r\n");
    EXPECT_EQ(ExportCalls(*FSession, Rows(4), 1, Out("calls")).Count, 4);
    const auto calls = test::ReadCsv(Read(Out("calls") + "Chloe's iPhone_CallHistory.csv").substr(3));
    ASSERT_TRUE(calls);
    ASSERT_EQ(calls->size(), 5u);
    EXPECT_EQ((*calls)[2], (std::vector<std::string>{"06/13/24 18:43:20", "", "Yes", "", "0:00",
                                                     "+447700900456", "Okafor Ben"}));
    EXPECT_EQ((*calls)[3][3], "Yes"); // FaceTime

    EXPECT_EQ(ExportCalendar(*FSession, Rows(2), Out("calendar")).Count, 2);
    EXPECT_EQ(
        Read(Out("calendar") + "Chloe's iPhone_Events.txt"),
        kBom + "06/14/24 19:33:20 ~ 06/14/24 20:33:20 City Dental Practice, Dentist\r\nBring the insurance "
               "form\r\n\r\n06/15/24 19:33:20 (All day) , Anna's birthday\r\n\r\n\r\n");

    EXPECT_EQ(ExportNotes(*FSession, {2, 0}, 0, Out("notes")).Count, 2);
    EXPECT_EQ(
        Read(Out("notes") + "Chloe's iPhone_Notes.txt"),
        kBom +
            "Note: 06/13/24 22:03:20\r\nFolder: Notes\r\nEncrypted title\r\n(locked note)\r\n\r\n"
            "Note: 06/13/24 19:33:20\r\nFolder: Notes\r\nShopping list\r\nShopping list\r\n[x] Milk\r\n[ ] "
            "Eggs & flour\r\n[ ] Coffee\r\n\r\n");
}

TEST_F(CategoryExport, SafariAsCsvWithHeadersPerGroupAndAsShortcuts) {
    const std::vector<TSafariRow> listed = SafariRows(*FSession->LoadSafari());
    ASSERT_EQ(listed.size(), 8u); // Bookmarks + 4 bookmarks (folders are no rows) + Histories + 2
    EXPECT_EQ(ExportSafari(*FSession, SafariExportRows(listed, {}), 0, Out("csv")).Count, 6);
    EXPECT_EQ(Read(Out("csv") + "Chloe's iPhone_Safari.txt"),
              kBom +
                  "Title,Url,Folder\r\n\"Kestrow\",\"https://kestrow.example/\",\"\"\r\n\"News\",\"https://"
                  "news.example/\",\"BookmarksBar\"\r\n\"Trains\",\"https://trains.example/timetable\","
                  "\"BookmarksBar\\Travel\"\r\n\"Long read\",\"https://magazine.example/long-read\","
                  "\"com.apple.ReadingList\"\r\nTitle,Url,Visited\r\n\"News \xE2\x80\x93 evening edition\","
                  "\"https://news.example/\",\"06/13/24 19:36:41\"\r\n\"Timetable\",\"https://trains.example/"
                  "timetable\",\"06/13/24 19:35:01\"\r\n");
    // History rows alone: no header. The "Histories" group row alone: the header and all its rows.
    std::vector<bool> selected(listed.size());
    selected[7] = true;
    EXPECT_EQ(ExportSafari(*FSession, SafariExportRows(listed, selected), 0, Out("one")).Count, 1);
    EXPECT_EQ(Read(Out("one") + "Chloe's iPhone_Safari.txt"),
              kBom + "\"Timetable\",\"https://trains.example/timetable\",\"06/13/24 19:35:01\"\r\n");
    selected = std::vector<bool>(listed.size());
    selected[5] = true;
    EXPECT_EQ(SafariExportRows(listed, selected),
              (std::vector<TSafariRow>{{srHistoryGroup, -1}, {srHistory, 0}, {srHistory, 1}}));

    const TExportResult shortcuts = ExportSafari(*FSession, SafariExportRows(listed, {}), 1, Out("fav"));
    EXPECT_EQ(shortcuts.Count, 6); // the files written: group rows write none
    EXPECT_EQ(test::NamesBelow(Out("fav")),
              (std::vector<std::string>{
                  "ExportedFromiOS", "ExportedFromiOS/BookmarksBar", "ExportedFromiOS/BookmarksBar/News.url",
                  "ExportedFromiOS/BookmarksBar/Travel", "ExportedFromiOS/BookmarksBar/Travel/Trains.url",
                  "ExportedFromiOS/Kestrow.url", "ExportedFromiOS/Visited",
                  "ExportedFromiOS/Visited/News \xE2\x80\x93 evening edition.url",
                  "ExportedFromiOS/Visited/Timetable.url", "ExportedFromiOS/com.apple.ReadingList",
                  "ExportedFromiOS/com.apple.ReadingList/Long read.url"}));
    EXPECT_EQ(Read(Out("fav") + "ExportedFromiOS/Kestrow.url"),
              "[InternetShortcut]\r\nUrl=https://kestrow.example/\r\n");
    // A second run writes nothing new and changes nothing.
    ASSERT_TRUE(WriteWholeFile(Out("fav") + "ExportedFromiOS/Kestrow.url", "mine"));
    const TExportResult again = ExportSafari(*FSession, SafariExportRows(listed, {}), 1, Out("fav"));
    EXPECT_EQ(again.Failures.size(), 0u);
    EXPECT_EQ(again.Count, 0);
    EXPECT_EQ(Read(Out("fav") + "ExportedFromiOS/Kestrow.url"), "mine");
    EXPECT_EQ(test::NamesBelow(Out("fav")).size(), 11u);
}

TEST_F(CategoryExport, VoicemailAudioNamedByCallerAndDate) {
    const TExportResult result = ExportVoicemail(*FSession, Rows(3), Out("vm"));
    EXPECT_EQ(result.Count, 2);
    // The third message's audio is not in the backup: a failure, listed and logged, the others written.
    // Its caller is a contact without a name: the number names it.
    ASSERT_EQ(result.Failures.size(), 1u);
    EXPECT_EQ(result.Failures[0].Target, Out("vm") + "+442079460321~06_13_24 20_03_20.amr");
    EXPECT_EQ(ErrorText(result.Failures[0].Error), "not in the backup");
    EXPECT_NE(FSession->LogText().find(result.Failures[0].Target + ":Copy:61"), std::string::npos);
    EXPECT_EQ(test::NamesBelow(Out("vm")), (std::vector<std::string>{"+442079460999~06_13_24 19_33_20.amr",
                                                                     "Okafor Ben~06_13_24 17_33_20.amr"}));
    EXPECT_EQ(Read(Out("vm") + "Okafor Ben~06_13_24 17_33_20.amr"), test::AmrAudio(700));
}

TEST_F(CategoryExport, StopEndsTheRunAfterTheRecordInHand) {
    std::stop_source stop;
    TExportControl control;
    control.Stop = stop.get_token();
    std::vector<std::size_t> steps;
    control.Step = [&](std::size_t done, std::size_t total) {
        steps.push_back(done);
        EXPECT_EQ(total, 5u);
        stop.request_stop();
    };
    const TExportResult result = ExportContacts(*FSession, Rows(5), 0, Out("stopped"), control);
    EXPECT_TRUE(result.Stopped);
    EXPECT_EQ(result.Count, 1);
    EXPECT_EQ(steps, std::vector<std::size_t>{1});
    EXPECT_EQ(test::NamesBelow(Out("stopped")).size(), 1u);
}

TEST_F(CategoryExport, NothingIsWrittenIntoABackupFolder) {
    const std::string inside = FRoot.Path() + "phone/exports/";
    const TExportResult result = ExportNotes(*FSession, {0}, 0, inside);
    EXPECT_EQ(result.FolderError, EACCES);
    EXPECT_EQ(result.Count, 0);
    EXPECT_FALSE(PathExists(inside));
}

TEST_F(CategoryExport, BackupFilesFlatNumberedAndWithTheirPaths) {
    const std::vector<std::string> keys = {"Library/Voicemail/1.amr", "Library/Voicemail/2.amr",
                                           "Library/SMS/Attachments/4f/15/tickets.pdf"};
    ASSERT_EQ(MakeFolders(Out("flat")), 0);
    ASSERT_TRUE(WriteWholeFile(Out("flat") + "1.amr", "already here"));
    const TExportResult flat = ExportBackupFiles(*FSession, {keys[0], keys[0], keys[2]}, 0, Out("flat"));
    EXPECT_EQ(flat.Count, 3);
    EXPECT_EQ(test::NamesBelow(Out("flat")),
              (std::vector<std::string>{"1.amr", "1_1.amr", "1_2.amr", "tickets.pdf"}));
    EXPECT_EQ(Read(Out("flat") + "1.amr"), "already here");
    EXPECT_EQ(Read(Out("flat") + "1_2.amr"), test::AmrAudio(700));

    EXPECT_EQ(ExportBackupFiles(*FSession, keys, 1, Out("tree")).Count, 3);
    EXPECT_EQ(Read(Out("tree") + "Library/Voicemail/2.amr"), test::AmrAudio(3750));
    EXPECT_EQ(Read(Out("tree") + "Library/SMS/Attachments/4f/15/tickets.pdf"),
              "%PDF-1.4 demo tickets\n%%EOF\n");
    // Again: nothing is replaced; each file fails and says so.
    const TExportResult again = ExportBackupFiles(*FSession, keys, 1, Out("tree"));
    EXPECT_EQ(again.Count, 0);
    ASSERT_EQ(again.Failures.size(), 3u);
    EXPECT_EQ(again.Failures[0].Target, Out("tree") + keys[0]);
    EXPECT_EQ(again.Failures[0].Error, EEXIST);
}

// Names and texts made to break files and leave the folder.
class HostileExport : public ::testing::Test {
protected:
    void Open(TBackupPlan plan) {
        plan.FolderName = "hostile";
        plan.DeviceName = "../../Evil/Phone";
        test::WriteBackup(FRoot.Path(), plan);
        FSession = std::make_unique<TIpodBackup>(FRoot.Path());
        ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    }
    void AddDatabase(TBackupPlan& plan, const std::string& name, const std::string& sql,
                     const std::string& key) {
        test::ExecSql(FWork.Path() + name, sql);
        plan.Files.emplace_back("HomeDomain", key, Read(FWork.Path() + name));
    }
    TTempFolder FWork;
    TTempFolder FRoot;
    TTempFolder FOut;
    std::unique_ptr<TIpodBackup> FSession;
};

TEST_F(HostileExport, CsvColumnsStayInPlaceWhateverTheTexts) {
    TBackupPlan plan;
    test::TContactsDb contacts;
    const std::string emoji70 = [] {
        std::string text;
        for (int i = 0; i < 70; ++i) {
            text += "\xF0\x9F\x98\x80"; // four bytes each
        }
        return text;
    }();
    contacts.Persons = {{1, "Sam \"The Man\"", "Lee, Jr"},
                        {2, "Sam \"The Man\"", "Lee, Jr"},
                        {3, "Ann;Marie", "Smith,", "", "=HYPERLINK(\"http://x.example/\")"},
                        {4, emoji70},
                        {5, "Be\x07ll", "Esc\x1b[2J\xC2\x9B\x7F"}};
    contacts.Values = {{1, 1, 3, 0, 1, "+44 1"}, {2, 3, 3, 0, 1, "@SUM(A1)"}};
    AddDatabase(plan, "ab", test::ContactsSql(contacts), "Library/AddressBook/AddressBook.sqlitedb");
    std::vector<test::TCallRow> calls = {{"+44 1", 600000000, 5}, {"1,\"2\r\n3", 600000100, 6}};
    AddDatabase(plan, "calls", test::CallHistoryStoreDataSql(calls),
                "Library/CallHistoryDB/CallHistory.storedata");
    // A bookmark below a chain of 70 folders d1 ... d70.
    std::vector<test::TBookmarkRow> deep;
    for (int depth = 1; depth <= 70; ++depth) {
        deep.push_back({100 + depth, depth == 1 ? 0 : 99 + depth, true, "d" + std::to_string(depth)});
    }
    deep.push_back({200, 170, false, "Deep", "https://deep.example/"});
    std::string nearest; // the 64 folders nearest the bookmark
    for (int depth = 7; depth <= 70; ++depth) {
        nearest += (depth == 7 ? "d" : "/d") + std::to_string(depth);
    }
    std::vector<test::TBookmarkRow> bookmarks = {
        {0, std::nullopt, true, "Root"},
        {1, 0, true, ".."},
        {2, 1, true, "a/b"},
        {3, 2, false, "a/b:c\"d", "https://x.example/\r\nIconFile=C:\\evil.ico"},
        {4, 0, false, "", "https://untitled.example/"},
        {5, 0, false, "t,\"q\"", "https://q.example/?a=1,2"},
        {6, 0, false, "News", "https://n1.example/"},
        {7, 0, false, "News", "https://n2.example/"},
        {8, 0, false, "News", "https://n3.example/"}};
    bookmarks.insert(bookmarks.end(), deep.begin(), deep.end());
    AddDatabase(plan, "bm", test::BookmarksSql(bookmarks), "Library/Safari/Bookmarks.db");
    Open(plan);
    const std::string dest = FOut.Path() + "out/";

    const TExportResult callsCsv = ExportCalls(*FSession, {0, 1}, 1, dest);
    ASSERT_EQ(callsCsv.Count, 2);
    const std::string name = FSession->LoadContacts()->GetPerson(0).Name;
    // The device name cannot climb out either: its slashes became "_".
    const auto rows = test::ReadCsv(Read(dest + ".._.._Evil_Phone_CallHistory.csv").substr(3));
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_EQ((*rows)[1][6], name);
    EXPECT_EQ((*rows)[2].size(), 7u);
    EXPECT_EQ((*rows)[2][5], "1,\"2\r\n3");

    EXPECT_EQ(ExportContacts(*FSession, {0, 1, 2, 3, 4}, 0, dest).Count, 5);
    EXPECT_TRUE(FileExists(dest + "Lee, Jr Sam _The Man_.vcf"));
    EXPECT_TRUE(FileExists(dest + "Lee, Jr Sam _The Man__1.vcf"));
    // 68 characters of four bytes are too long for a file name: cut at a character, with room kept.
    EXPECT_TRUE(FileExists(dest + emoji70.substr(0, 240) + ".vcf"));
    EXPECT_TRUE(FileExists(dest + "Esc_[2J__ Be_ll.vcf")); // ESC, C1 CSI, DEL and BEL
    EXPECT_NE(Read(dest + "Smith, Ann;Marie.vcf").find("\r\nN:Smith\\,;Ann\\;Marie;;;\r\n"),
              std::string::npos);
    EXPECT_EQ(ExportContacts(*FSession, {2}, 2, dest).Count, 1);
    const auto contactRows = test::ReadCsv(Read(dest + ".._.._Evil_Phone_Contact.csv").substr(3));
    ASSERT_TRUE(contactRows);
    EXPECT_EQ((*contactRows)[1][9], "'=HYPERLINK(\"http://x.example/\")");
    EXPECT_EQ((*contactRows)[1][18], "'@SUM(A1)");

    const std::vector<TSafariRow> listed = SafariRows(*FSession->LoadSafari());
    ASSERT_EQ(ExportSafari(*FSession, listed, 0, dest).Count, 7);
    const auto safari = test::ReadCsv(Read(dest + ".._.._Evil_Phone_Safari.txt").substr(3));
    ASSERT_TRUE(safari);
    ASSERT_EQ(safari->size(), 8u);
    EXPECT_EQ((*safari)[1], (std::vector<std::string>{
                                "a/b:c\"d", "https://x.example/\r\nIconFile=C:\\evil.ico", "..\\a/b"}));
    EXPECT_EQ((*safari)[3], (std::vector<std::string>{"t,\"q\"", "https://q.example/?a=1,2", ""}));

    // Equal titles are numbered; the count is of files written; a folder chain is cut at 64.
    EXPECT_EQ(ExportSafari(*FSession, listed, 1, dest).Count, 7);
    EXPECT_EQ(Read(dest + "ExportedFromiOS/" + nearest + "/Deep.url"),
              "[InternetShortcut]\r\nUrl=https://deep.example/\r\n");
    EXPECT_NE(FSession->LogText().find("\r\nBookmarks deeper than 64 folders: 1; only the 64 nearest folders "
                                       "are kept"),
              std::string::npos);
    EXPECT_EQ(Read(dest + "ExportedFromiOS/News_2.url"), "[InternetShortcut]\r\nUrl=https://n3.example/\r\n");
    EXPECT_EQ(Read(dest + "ExportedFromiOS/--/a-b/a-b-c-d.url"),
              "[InternetShortcut]\r\nUrl=https://x.example/IconFile=C:\\evil.ico\r\n");
    EXPECT_EQ(Read(dest + "ExportedFromiOS/NoTitle.url"),
              "[InternetShortcut]\r\nUrl=https://untitled.example/\r\n");
    for (const std::string& path : test::NamesBelow(FOut.Path())) {
        EXPECT_EQ(path.rfind("out", 0), 0u) << path;
    }
}

TEST_F(HostileExport, KeysThatWouldLeaveTheFolderAreRefused) {
    TBackupPlan plan;
    plan.Files = {test::TTestFile("HomeDomain", "../escape.txt", "out"),
                  test::TTestFile("HomeDomain", "ok.txt", "in")};
    Open(plan);
    const std::string dest = FOut.Path() + "files/";
    const TExportResult result = ExportBackupFiles(*FSession, {"../escape.txt", "ok.txt"}, 1, dest);
    EXPECT_EQ(result.Count, 1);
    ASSERT_EQ(result.Failures.size(), 1u);
    EXPECT_EQ(result.Failures[0].Error, EINVAL);
    EXPECT_EQ(test::NamesBelow(FOut.Path()), (std::vector<std::string>{"files", "files/ok.txt"}));
    // Flat, the last component alone is used: it lands inside, as "escape.txt".
    EXPECT_EQ(ExportBackupFiles(*FSession, {"../escape.txt"}, 0, dest).Count, 1);
    EXPECT_EQ(Read(dest + "escape.txt"), "out");
}

// A conversation of a current phone, exported as a page and as text: reactions folded, edits,
// unsent, reply, deleted, events, the group's name, senders escaped, a missing attachment named.
TEST_F(HostileExport, TodaysGroupChatAsPageAndText) {
    const test::TFixedZone zone("UTC");
    TBackupPlan plan;
    test::TNewSmsDb db = test::TodaysSms();
    db.Attachments[0] = {1, "~/Library/SMS/Attachments/01/IMG_0001.HEIC", "image/heic", "IMG_0001.HEIC",
                         2048};
    AddDatabase(plan, "sms.db", test::NewSmsSql(db), "Library/SMS/sms.db");
    const std::string heic = test::TestHeic(64, 48, 200, 30, 30);
    plan.Files.emplace_back("MediaDomain", "Library/SMS/Attachments/01/IMG_0001.HEIC", heic);
    plan.Files.emplace_back("MediaDomain", "Library/SMS/Attachments/03/sticker.png", "png");
    plan.Files.emplace_back("MediaDomain", "Library/SMS/Attachments/04/link.pluginPayloadAttachment", "link");
    Open(plan);
    const TExportResult html = ExportMessages(*FSession, {0}, 0, FOut.Path(), "12/09/26 10:00:00");
    EXPECT_EQ(html.Count, 1);
    ASSERT_EQ(html.Failures.size(), 1u); // the voice memo is not in the backup
    EXPECT_EQ(html.Failures[0].Target, FOut.Path() + "Trip_files/2.caf");
    EXPECT_EQ(test::NamesBelow(FOut.Path()),
              (std::vector<std::string>{"Trip.html", "Trip_files", "Trip_files/1.HEIC", "Trip_files/1.jpg",
                                        "Trip_files/3.png", "Trip_files/4.pluginPayloadAttachment"}));
    EXPECT_EQ(Read(FOut.Path() + "Trip_files/4.pluginPayloadAttachment"), "link"); // hidden, still copied
    EXPECT_EQ(Read(FOut.Path() + "Trip_files/1.HEIC"), heic); // the original beside its JPEG copy
    const auto picture = DecodeJpeg(Read(FOut.Path() + "Trip_files/1.jpg"));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width, 64);
    const std::string page = Read(FOut.Path() + "Trip.html");
    EXPECT_EQ(
        page.substr(page.find("<body>")),
        "<body><div class=\"c\"><p>Group: Trip (+447700900001, +447700900002, &lt;b&gt;Sam &amp; "
        "Co&lt;/b&gt;), "
        "exported 12/09/26 10:00:00</p>"
        "<div class=\"b l\">+447700900001:<br>See you at 7<p class=\"m\">\u2665 +447700900002</p>"
        "<p class=\"t\">03/08/23 20:27:40</p></div>"
        "<div class=\"b i\">Great<p class=\"m\">\U0001F389 &lt;b&gt;Sam &amp; Co&lt;/b&gt;, Sticker "
        "&lt;b&gt;Sam "
        "&amp; Co&lt;/b&gt;</p><div><img src=\"Trip_files/3.png\"></div>"
        "<p class=\"t\">03/08/23 20:28:40</p></div>"
        "<div class=\"b l\">+447700900001:<br>Loved \u201cold news\u201d<p class=\"t\">03/08/23 "
        "20:33:40</p></div>"
        "<div class=\"b i\">Meet at 8<p class=\"m\">Edited</p><p class=\"m\">03/08/23 20:34:40: Meet at 6</p>"
        "<p class=\"m\">03/08/23 20:35:10: Meet at 7</p><p class=\"t\">03/08/23 20:34:40</p></div>"
        "<div class=\"b l\">+447700900001:<br><p class=\"m\">Unsent</p><p class=\"t\">03/08/23 "
        "20:35:40</p></div>"
        "<div class=\"b l\">&lt;b&gt;Sam &amp; Co&lt;/b&gt;:<br><p class=\"q\">\u201cMeet at 8\u201d</p>Fine "
        "by "
        "me<p class=\"t\">03/08/23 20:36:40</p></div>"
        "<p class=\"e\">+447700900001 added +447700900002 <span class=\"t\">03/08/23 20:37:40</span></p>"
        "<p class=\"e\">You named the conversation \u201cTrip\u201d <span class=\"t\">03/08/23 "
        "20:38:40</span></p>"
        "<p class=\"e\">+447700900002 left <span class=\"t\">03/08/23 20:39:40</span></p>"
        "<div class=\"b l\">+447700900001:<br>Oops<p class=\"m\">Deleted</p><p class=\"t\">03/08/23 "
        "20:40:40</p></div>"
        "<div class=\"b l\">+447700900001:<br><div><img src=\"Trip_files/1.jpg\"></div><div "
        "class=\"m\">Audio "
        "Message.caf, audio/x-caf, 31 KB (not in the backup)</div><div class=\"m\">Hidden attachment: <a "
        "href=\"Trip_files/4.pluginPayloadAttachment\">link.pluginPayloadAttachment, 1 KB</a></div><p "
        "class=\"t\">03/08/23 20:41:40</p></div>"
        "</div></body></html>");
    EXPECT_EQ(ExportMessages(*FSession, {0}, 2, FOut.Path(), "").Count, 1);
    EXPECT_EQ(
        Read(FOut.Path() + "Trip.txt"),
        kBom +
            "Group: Trip (+447700900001, +447700900002, <b>Sam & Co</b>)\r\n\r\n"
            ">> 03/08/23 20:27:40\r\n+447700900001:\r\nSee you at 7\r\n[\u2665 +447700900002]\r\n\r\n"
            "<< 03/08/23 20:28:40\r\nGreat\r\n[\U0001F389 <b>Sam & Co</b>, Sticker <b>Sam & Co</b>]\r\n"
            "[Sticker: sticker.png]\r\n\r\n"
            ">> 03/08/23 20:33:40\r\n+447700900001:\r\nLoved \u201cold news\u201d\r\n\r\n"
            "<< 03/08/23 20:34:40\r\nMeet at 8\r\n[Edited]\r\n[03/08/23 20:34:40: Meet at 6]\r\n"
            "[03/08/23 20:35:10: Meet at 7]\r\n\r\n"
            ">> 03/08/23 20:35:40\r\n+447700900001:\r\n\r\n[Unsent]\r\n\r\n"
            ">> 03/08/23 20:36:40\r\n<b>Sam & Co</b>:\r\nReply to \u201cMeet at 8\u201d\r\nFine by me\r\n\r\n"
            "-- 03/08/23 20:37:40\r\n+447700900001 added +447700900002\r\n\r\n"
            "-- 03/08/23 20:38:40\r\nYou named the conversation \u201cTrip\u201d\r\n\r\n"
            "-- 03/08/23 20:39:40\r\n+447700900002 left\r\n\r\n"
            ">> 03/08/23 20:40:40\r\n+447700900001:\r\nOops\r\n[Deleted]\r\n\r\n"
            ">> 03/08/23 20:41:40\r\n+447700900001:\r\nimage/heicaudio/x-caf\r\n"
            "[Attachment: IMG_0001.HEIC]\r\n[Attachment: Audio Message.caf]\r\n"
            "[Hidden attachment: link.pluginPayloadAttachment]\r\n\r\n");
}

} // namespace
} // namespace kestrow
