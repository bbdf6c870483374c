#include <cstdlib>
#include <set>
#include <sstream>
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "platform/file_io.h"
#include "platform/temp_folder.h"

namespace kestrow {
namespace {

using TJson = nlohmann::ordered_json;

// The backups kestrow-mkdemo writes, read back through kestrow-cli as a newcomer reads them: what the
// current-layout demo backups plant is found once, with its values.
class Demo : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Folder = new TTempFolder();
        Root = Folder->Path() + "backups/";
        ASSERT_EQ(std::system((std::string(KESTROW_MKDEMO) + " " + Root + " >/dev/null").c_str()), 0);
        ASSERT_TRUE(WriteWholeFile(Folder->Path() + "pw", "kestrow-demo\n"));
    }
    static void TearDownTestSuite() {
        delete Folder;
        Folder = nullptr;
    }

    // Output of `kestrow-cli ARGS` on the demo root; the exit code in `exit`.
    static std::string Run(const std::string& args, int* exit = nullptr) {
        const std::string out = Folder->Path() + "out";
        const std::string command =
            "env -u KESTROW_PASSWORD TZ=UTC LC_ALL=C KESTROW_NOTES_PASSWORD=password " +
            std::string(KESTROW_CLI) + " --root " + Root + " --password-file " + Folder->Path() + "pw " +
            args + " >" + out + " 2>/dev/null";
        const int status = std::system(command.c_str());
        if (exit != nullptr) {
            *exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::string text;
        ReadWholeFile(out, text);
        return text;
    }
    static TJson Json(const std::string& args) { return TJson::parse(Run(args + " --json")); }

    static TTempFolder* Folder;
    static std::string Root;
};

TTempFolder* Demo::Folder = nullptr;
std::string Demo::Root;

TEST_F(Demo, TheNamedGroupAndTheSmsGroupAsTodaysPhonesKeepThem) {
    const TJson conversations = Json("messages 3");
    ASSERT_EQ(conversations.size(), 5u);
    const TJson& trip = conversations[3];
    EXPECT_EQ(trip["groupName"], "Lyon trip");
    EXPECT_EQ(trip["addresses"], " Taylor Anna, Okafor Ben, Lindqvist Bea");
    const TJson& m = trip["messages"];
    ASSERT_EQ(m.size(), 8u); // the two reactions are under the message they answer
    EXPECT_EQ(m[0]["event"].dump(), R"({"type":"renamed","other":null,"name":"Lyon trip"})");
    EXPECT_EQ(m[1]["event"].dump(), R"({"type":"added","other":"+447700900789","name":null})");
    EXPECT_EQ(m[3]["reactions"].dump(),
              R"([{"type":"love","emoji":null,"fromMe":false,"sender":"+447700900456","date":)"
              R"("2024-06-14T08:06:00+00:00","parts":[]},{"type":"emoji","emoji":"🥐","fromMe":false,)"
              R"("sender":"+447700900789","date":"2024-06-14T08:07:00+00:00","parts":[]}])");
    EXPECT_EQ(m[4]["text"], "The train leaves at 8:15");
    EXPECT_EQ(m[4]["edits"].dump(),
              R"([{"date":"2024-06-14T08:10:00+00:00","text":"The train leaves at 7:45"}])");
    EXPECT_EQ(m[5]["unsent"], true);
    EXPECT_EQ(m[5]["text"], "");
    EXPECT_EQ(m[6]["replyTo"], m[4]["guid"]);
    TJson picture = m[7]["parts"][0];
    // The HEIC's size is the encoder's; the database records the size of the file in the backup.
    EXPECT_NE(Run("files 3").find("Library/SMS/Attachments/3c/07/IMG_4120.HEIC\ta5/"
                                  "a53bc301620fd33e63fabd08d9dc112f7f1a8eda\t" +
                                  picture["totalBytes"].dump() + "\t"),
              std::string::npos);
    picture.erase("totalBytes");
    EXPECT_EQ(picture.dump(),
              R"({"rowId":2,"kind":2,"fileName":"~/Library/SMS/Attachments/3c/07/IMG_4120.HEIC",)"
              R"("content":"image/heic","mimeType":"image/heic","transferName":"IMG_4120.HEIC",)"
              R"("inBackup":true,"hidden":false})");
    const TJson& sms = conversations[4];
    EXPECT_EQ(sms["displayName"], "Taylor Anna, Okafor Ben");
    EXPECT_EQ(sms["isGroupChat"], true);
    EXPECT_EQ(sms["isIMessage"], false);
    ASSERT_EQ(sms["messages"].size(), 2u);
    EXPECT_EQ(sms["messages"][0]["text"], "Running late, start without me");
}

TEST_F(Demo, NotesInTwoFoldersWithAChecklistAPictureAndTheLockedNoteOpened) {
    const TJson notes = Json("notes 3");
    ASSERT_EQ(notes.size(), 5u);
    EXPECT_EQ(notes[2]["text"], "Encrypted title\r\n\r\nEncrypted body");
    EXPECT_EQ(notes[2]["unlocked"], true);
    const TJson& packing = notes[4];
    EXPECT_EQ(packing["folder"], "Travel");
    EXPECT_EQ(packing["text"], "Packing for Lyon\r\n[x] Passports\r\n[ ] Rail tickets\r\nHotel [hotel.jpg]");
    EXPECT_EQ(packing["attachments"].dump(),
              R"([{"type":"picture","name":"hotel.jpg","key":"Accounts/ACC-1/Media/MED-3/1_a/hotel.jpg",)"
              R"("inBackup":true}])");
}

TEST_F(Demo, SearchTimelinePhotosSafariAndSharedKeys) {
    const TJson hits = Json("search 3 Lyon");
    ASSERT_EQ(hits.size(), 5u);
    EXPECT_EQ(hits[0]["snippet"], "Flight to «Lyon»");
    EXPECT_EQ(hits[1]["snippet"], "Who has the address of the hotel in «Lyon»?");
    EXPECT_EQ(hits[2]["snippet"], "You named the conversation “«Lyon» trip”");
    EXPECT_EQ(hits[3]["snippet"], "Packing for «Lyon»");
    EXPECT_EQ(hits[4]["snippet"], "«Lyon» trip");
    // The demo's window of the timeline holds five categories.
    std::set<std::string> categories;
    for (const TJson& record : Json("timeline 3 --from 2024-06-13T17:00Z --to 2024-06-13T20:00Z")) {
        categories.insert(record["category"].get<std::string>());
    }
    EXPECT_EQ(categories, (std::set<std::string>{"calls", "messages", "notes", "safari", "voicemail"}));
    const TJson photos = Json("photos 3");
    ASSERT_EQ(photos.size(), 7u);
    // In date order: the files without a date of their own take the manifest's (2016) and come first.
    EXPECT_EQ(photos[3]["livePhotoKey"], "Media/DCIM/105APPLE/IMG_0001.MOV");
    EXPECT_EQ(photos[3]["latitude"], 48.8584);
    EXPECT_EQ(photos[4]["albums"].dump(), R"(["Family","Holidays"])");
    EXPECT_EQ(photos[4]["latitude"], 45.7578);                                    // a second place
    EXPECT_EQ(Json("safari 3")["history"][0]["title"], "News – evening edition"); // History.db
    std::string shared;
    std::istringstream files(Run("files 3"));
    for (std::string line; std::getline(files, line);) {
        if (line.find("GlobalPreferences") != std::string::npos ||
            line.find("ChatStorage") != std::string::npos) {
            shared += line.substr(0, line.find('\t')) + "\n";
        }
    }
    EXPECT_EQ(shared, "Library/Preferences/.GlobalPreferences.plist\n"
                      "HomeDomain/Library/Preferences/.GlobalPreferences.plist\n"
                      "ChatStorage.sqlite\n"
                      "AppDomainGroup-group.com.example.chat.business/ChatStorage.sqlite\n");
}

// The encrypted copy holds the same records and is whole.
TEST_F(Demo, TheEncryptedCurrentBackupReadsAsThePlainOne) {
    EXPECT_EQ(Run("messages 4 --json"), Run("messages 3 --json"));
    EXPECT_EQ(Run("notes 4 --json"), Run("notes 3 --json"));
    int exit = -1;
    const std::string check = Run("check 4", &exit);
    EXPECT_EQ(exit, 0);
    EXPECT_NE(check.find("The backup is whole.\n"), std::string::npos) << check;
}

} // namespace
} // namespace kestrow
