// Search and timeline over a backup written as a phone leaves it: every category, a word only one
// of them holds, case and accents, phone numbers digit-wise, order, the CSV, and where the index lives.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "search/search_csv.h"
#include "search/search_index.h"
#include "support/backup_writer.h"
#include "support/call_writer.h"
#include "support/demo_data.h"
#include "support/sms_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TDemoGeneration;
using test::TTestFile;

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        names.push_back(entry.path().string() + " " +
                        std::to_string(entry.is_regular_file() ? entry.file_size() : 0));
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Search : public ::testing::Test {
protected:
    void SetUp() override {
        test::TBackupPlan plan;
        plan.FolderName = "phone";
        const std::string work = FWork.Path();
        test::AddDemoContacts(work, TDemoGeneration::Current, plan.Files);
        test::AddDemoMessages(work, TDemoGeneration::Current, plan.Files);
        test::AddDemoCalendar(work, TDemoGeneration::Current, plan.Files);
        test::AddDemoNotes(work, TDemoGeneration::Current, plan.Files);
        test::AddDemoSafari(work, TDemoGeneration::Current, plan.Files);
        test::AddDemoVoicemail(work, TDemoGeneration::Current, plan.Files);
        // A caller no contact knows, and one that is Anna.
        test::ExecSql(work + "calls", test::CallHistoryStoreDataSql({{"+1 (555) 123-4567", 739990000, 61},
                                                                     {"+447700900123", 739980000, 5}}));
        std::string calls;
        ASSERT_TRUE(ReadWholeFile(work + "calls", calls));
        plan.Files.emplace_back("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", calls);
        plan.Files.emplace_back("CameraRollDomain", "Media/DCIM/Zoë at the springboard.jpg", "jpeg");
        plan.Files.emplace_back("HomeDomain", "=HYPERLINK(x),Término.txt", "text");
        FBackup = test::WriteBackup(FRoot.Path(), plan);
        ASSERT_TRUE(FSession.RefreshBackups());
        ASSERT_EQ(FSession.SelectBackup(0, ""), osOpened);
    }

    std::vector<std::string> Found(std::string_view text, const TCategoryFilter& categories = {}) {
        std::vector<std::string> found;
        for (const TSearchHit& hit : FIndex.Search(text, categories)) {
            found.push_back(std::string(SearchCategoryName(hit.Ref.Category)) + ":" + hit.Where + ":" +
                            hit.Field + ":" + MarkedSnippet(hit.Snippet));
        }
        return found;
    }

    TTempFolder FRoot;
    TTempFolder FWork;
    std::string FBackup;
    TIpodBackup FSession{FRoot.Path()};
    TSearchIndex FIndex{FSession, 3}; // records spread over three databases, as a large backup's are
};

TEST_F(Search, EveryCategoryByAWordOnlyItHolds) {
    FSession
        .LoadMessages(); // read before the first search, as in the desktop; the other tests read them with it
    EXPECT_EQ(Found("dubois"),
              std::vector<std::string>{"contacts:Dubois Marie Chloé:name:Chloé Marie «Dubois»"});
    EXPECT_EQ(Found("CANDLES"),
              std::vector<std::string>{
                  "messages:Taylor Anna, bea@example.com and 1 more:text:Perfect, I'll bring «candles»."});
    EXPECT_EQ(Found("555 1234"),
              std::vector<std::string>{"calls:+1 (555) 123-4567:number:+1 («555) 123-4»567"});
    EXPECT_EQ(Found("lyon"), std::vector<std::string>{"calendar:Flight to Lyon:title:Flight to «Lyon»"});
    EXPECT_EQ(Found("Flour"),
              std::vector<std::string>{
                  "notes:Shopping list:body:Shopping list  [x] Milk  [ ] Eggs & «flour»  [ ] Coffee"});
    EXPECT_EQ(Found("magazine"),
              std::vector<std::string>{"safari:Long read:url:https://«magazine».example/long-read"});
    EXPECT_EQ(Found("+44 20 7946 0999"),
              std::vector<std::string>{"voicemail:+442079460999:number:+«442079460999»"});
    EXPECT_EQ(
        Found("springboard"),
        std::vector<std::string>{"files:Media/DCIM/Zoë at the springboard.jpg:key:Media/DCIM/Zoë at the "
                                 "«springboard».jpg"});
}

TEST_F(Search, CaseAccentsAndPhoneDigitsNeverMatter) {
    EXPECT_EQ(Found("zoe"), Found("ZOË"));
    EXPECT_EQ(Found("zoe").size(), 1u);
    EXPECT_EQ(Found("TERMINO"),
              std::vector<std::string>{"files:=HYPERLINK(x),Término.txt:key:=HYPERLINK(x),«Término».txt"});
    // Anna's number as she is stored, as a call holds it and as it is typed: one set of records.
    const std::vector<std::string> anna = Found("07700 900123", {catCalls});
    EXPECT_EQ(anna, std::vector<std::string>{"calls:Taylor Anna:number:+44«7700900123»"});
    EXPECT_EQ(Found("7700-900-123", {catCalls}), anna);
    EXPECT_EQ(Found("(+44) 7700 900 1", {catContacts}),
              std::vector<std::string>{"contacts:Taylor Anna:phone:+«44 7700 9001»23"});
    // Query syntax is only text: quotes, stars and operators are words or nothing.
    EXPECT_EQ(Found("\" * NEAR( OR -").size(), 0u);
    EXPECT_EQ(Found("\"candles\"*").size(), 1u);
    EXPECT_TRUE(Found("").empty());
}

TEST_F(Search, NewestFirstUndatedLastAndEveryDatedRecordInTheTimeline) {
    const std::vector<TSearchHit> hits = FIndex.Search("anna");
    ASSERT_GE(hits.size(), 5u);
    for (std::size_t i = 1; i < hits.size(); ++i) {
        const double before = hits[i - 1].Ref.Date;
        const double date = hits[i].Ref.Date;
        EXPECT_TRUE(date == 0 || (before != 0 && before >= date)) << i;
    }
    EXPECT_EQ(SearchCategoryName(hits.front().Ref.Category), std::string("calendar")); // her birthday
    EXPECT_EQ(hits.back().Ref.Date, 0);

    const std::vector<TSearchHit> timeline = FIndex.Timeline(0, 0);
    // 7 messages, 2 calls, 4 events, 4 notes, 2 visits, 3 voicemails, the one contact whose creation
    // is stored; files have no date.
    ASSERT_EQ(timeline.size(), 23u);
    EXPECT_TRUE(
        std::is_sorted(timeline.begin(), timeline.end(),
                       [](const TSearchHit& a, const TSearchHit& b) { return a.Ref.Date < b.Ref.Date; }));
    // Both ends belong to the range, the end with the three records of its moment.
    EXPECT_EQ(FIndex.Timeline(timeline[3].Ref.Date, timeline[4].Ref.Date).size(), 4u);
    EXPECT_EQ(FIndex.Timeline(0, 0, {catCalendar}).back().Summary, "Flight to Lyon Gatwick North");
    const std::vector<TSearchHit> created = FIndex.Timeline(0, 0, {catContacts});
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].Summary, "Dubois Marie Chloé");
    EXPECT_DOUBLE_EQ(created[0].Ref.Date, 36892.0 + (700000123.0 + FSession.TzOffset()) / 86400.0);
    const std::vector<TSearchHit> messages = FIndex.Timeline(0, 0, {catMessages});
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const TSearchHit& entry) {
        return entry.Summary == "Here are the tickets"; // the blank before the attachment's place goes
    }));
}

TEST_F(Search, ALockedNoteIsNotFoundUntilItIsOpened) {
    // Its title is all that reads until the password is given; "(locked note)" is no text of it.
    EXPECT_EQ(Found("encrypted"), std::vector<std::string>{"notes:Encrypted title:title:«Encrypted» title"});
    EXPECT_TRUE(Found("encrypted body").empty());
    EXPECT_TRUE(Found("locked note").empty());
    ASSERT_EQ(FSession.LoadNotes()->OpenLockedNotes({"password"}), 1);
    const std::vector<std::string> opened{
        "notes:Encrypted title:body:«Encrypted» title    «Encrypted» «body»"};
    EXPECT_EQ(Found("ENCRYPTED BODY"), opened);
    EXPECT_EQ(Found("encrypted").size(), 1u); // indexed once, with its body
    EXPECT_EQ(Found("recently deleted", {catNotes}),
              std::vector<std::string>{"notes:Cottage:folder:«Recently» «Deleted»"});
}

// A current phone's messages: earlier texts of an edited message, a named group and its events.
TEST(SearchMessages, EarlierTextsGroupNamesAndEvents) {
    TTempFolder root;
    TTempFolder work;
    test::ExecSql(work.Path() + "sms.db", test::NewSmsSql(test::TodaysSms()));
    test::TBackupPlan plan;
    plan.FolderName = "today";
    std::string sms;
    ASSERT_TRUE(ReadWholeFile(work.Path() + "sms.db", sms));
    plan.Files.emplace_back("HomeDomain", "Library/SMS/sms.db", sms);
    test::WriteBackup(root.Path(), plan);
    TIpodBackup session(root.Path());
    ASSERT_TRUE(session.RefreshBackups());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    TSearchIndex index(session);
    std::vector<std::string> found;
    for (const TSearchHit& hit : index.Search("meet 6")) {
        found.push_back(hit.Where + ":" + hit.Field + ":" + MarkedSnippet(hit.Snippet));
    }
    EXPECT_EQ(found, std::vector<std::string>{"Trip:earlier text:«Meet» at «6»"});
    const std::vector<TSearchHit> renamed = index.Search("named trip");
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0].Field, "event");
    EXPECT_EQ(index.Timeline(renamed[0].Ref.Date, renamed[0].Ref.Date)[0].Summary,
              "You named the conversation \u201cTrip\u201d");
}

TEST_F(Search, CsvKeepsFormulasAsText) {
    const std::vector<TSearchHit> hits = FIndex.Search("termino");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(FSession.Files().At(static_cast<std::size_t>(hits[0].Ref.Record)).first,
              "=HYPERLINK(x),Término.txt");
    EXPECT_EQ(SearchCsv(hits, FSession.TzOffset()), "\xEF\xBB\xBF"
                                                    "Category,Date,Where,Field,Record,Row id,Snippet\r\n"
                                                    "files,,\"'=HYPERLINK(x),Término.txt\",key," +
                                                        std::to_string(hits[0].Ref.Record) +
                                                        ",,\"'=HYPERLINK(x),«Término».txt\"\r\n");
    const std::string timeline = TimelineCsv(FIndex.Timeline(0, 0, {catCalls}), FSession.TzOffset());
    EXPECT_EQ(std::count(timeline.begin(), timeline.end(), '\n'), 3) << timeline;
    EXPECT_TRUE(timeline.ends_with(",calls,+1 (555) 123-4567,+1 (555) 123-4567 1:01,0,\r\n")) << timeline;
}

TEST_F(Search, TheIndexIsNeverAFileAndGoesWithTheSession) {
    FSession.LoadMessages(); // the readers' working copies are made before the listing
    const std::vector<std::string> backup = Listing(FBackup);
    const std::string privateFolder = FSession.TempFolder();
    FIndex.Search("candles");
    const std::vector<std::string> working = Listing(privateFolder);
    FIndex.Search("anna");
    EXPECT_EQ(Listing(FBackup), backup);
    EXPECT_EQ(Listing(privateFolder), working);
    EXPECT_GT(FIndex.IndexBytes(), 0);
}

} // namespace
} // namespace kestrow
