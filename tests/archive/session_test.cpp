#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "archive/backup_read_thread.h"
#include "archive/ipod_backup.h"
#include "crypto/password_key_cache.h"
#include "export/file_export.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/keybag_writer.h"

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::TTestFile;

std::vector<TTestFile> SampleFiles() {
    std::vector<TTestFile> files = {
        {"HomeDomain", "Library/SMS/sms.db", std::string("SQLite format 3\0", 16) + std::string(5000, 's')},
        {"HomeDomain", "Library/CallHistory/call_history.db", "calls"},
        {"HomeDomain", "Library/Notes/notes.db", "notes"},
        {"HomeDomain", "Library/SMS/Parts/7f/03/1-1.jpg", "jpeg one"},
        {"MediaDomain", "Library/SMS/Parts/7f/04/1-1.jpg", "jpeg duplicate name"},
        {"HomeDomain", "Library/SMS/Parts/7f/05/1-1-preview.jpg", "preview"},
        {"AppDomain-com.apple.mobilesafari", "Library/Safari/History.plist", "history"},
        {"CameraRollDomain", "Media/DCIM/IMG_0001.MOV", std::string(1 << 20, 'm') + "end"},
        {"HomeDomain", "Library/Empty", ""},
    };
    files[1].ProtectionClass = 2;              // Curve25519-wrapped key in encrypted backups
    files[7].RecordedSize = (1 << 20) + 3 - 7; // recorded sizes are sometimes wrong
    return files;
}

// A backup root with: 0 plain, 1 encrypted, 2 oldest layout, 3 encrypted oldest layout,
// 4 encrypted with no class key, 5 a manifest without files; 6 an older backup of device 0.
class Session : public ::testing::Test {
protected:
    void SetUp() override {
        TBackupPlan plan;
        plan.UniqueId = "DEVICE-A";
        plan.Files = SampleFiles();
        plan.FolderName = "b0";
        test::WriteBackup(FRoot.Path(), plan);
        plan.FolderName = "b1";
        plan.UniqueId = "device-b";
        plan.Encrypted = true;
        plan.Password = "right";
        test::WriteBackup(FRoot.Path(), plan);
        plan.FolderName = "b2";
        plan.Encrypted = false;
        plan.Layout = test::TLayout::Old;
        test::WriteBackup(FRoot.Path(), plan);
        plan.FolderName = "b3";
        plan.Encrypted = true;
        test::WriteBackup(FRoot.Path(), plan);
        plan.FolderName = "b4";
        plan.Layout = test::TLayout::Mbdb;
        plan.Files.clear();
        test::TTlvWriter noClasses;
        noClasses.Int("VERS", 3).Int("TYPE", 1).Tag("UUID", TBytes(16)).Tag("SALT", TBytes(20));
        plan.KeyBagBlock = noClasses.Bytes();
        test::WriteBackup(FRoot.Path(), plan);
        plan.KeyBagBlock.reset();
        plan.FolderName = "b5";
        plan.Encrypted = false;
        test::WriteBackup(FRoot.Path(), plan);
        plan.FolderName = "b6";
        plan.UniqueId = "DEVICE-A";
        plan.DateUnix -= 86400;
        plan.Files = {{"HomeDomain", "older.txt", "older"}};
        test::WriteBackup(FRoot.Path(), plan);
        FSession = std::make_unique<TIpodBackup>(FRoot.Path());
        ASSERT_EQ(FSession->Backups().size(), 7u);
    }

    std::string Read(const std::string& path) {
        std::string contents;
        EXPECT_TRUE(ReadWholeFile(path, contents)) << path;
        return contents;
    }

    TTempFolder FRoot;
    TTempFolder FOut;
    std::unique_ptr<TIpodBackup> FSession;
};

TEST_F(Session, StatusesOfOpening) {
    EXPECT_EQ(FSession->SelectBackup(-1, ""), osNoBackup);
    EXPECT_EQ(FSession->SelectBackup(99, ""), osNoBackup);
    EXPECT_EQ(FSession->SelectBackup(1, "wrong"), osWrongPassword);
    EXPECT_EQ(FSession->CurrentIndex(), -1);
    EXPECT_EQ(FSession->SelectBackup(3, "right"), osEncryptedNoManifest);
    EXPECT_EQ(FSession->SelectBackup(5, ""), osNoFile);
    EXPECT_EQ(FSession->SelectBackup(0, ""), osOpened);
    EXPECT_EQ(FSession->CurrentDeviceName(), "Test iPhone");
    EXPECT_FALSE(FSession->CurrentBackupDate().empty());
    EXPECT_EQ(FSession->SelectBackup(1, "right"), osOpened);
    EXPECT_EQ(FSession->Files().Size(), SampleFiles().size());
    EXPECT_EQ(FSession->SelectBackup(2, ""), osOpened);
    EXPECT_EQ(FSession->Files().Size(), SampleFiles().size());
}

TEST_F(Session, EmptyKeyBagIsAWrongPasswordWithoutDerivingAKey) {
    const std::uint64_t before = PasswordKeyDerivationCount();
    EXPECT_EQ(FSession->SelectBackup(4, "anything"), osWrongPassword);
    EXPECT_EQ(PasswordKeyDerivationCount(), before);
    ASSERT_NE(FSession->KeyBag(), nullptr);
    EXPECT_EQ(FSession->KeyBag()->KeyCount(), 0);
}

TEST_F(Session, ReopeningTheCurrentBackupDoesNothing) {
    ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    std::filesystem::remove_all(FRoot.Path() + "b0");
    EXPECT_EQ(FSession->SelectBackup(0, ""), osOpened);
    EXPECT_EQ(FSession->Files().Size(), SampleFiles().size());
}

TEST_F(Session, CategoriesFollowTheFileTable) {
    EXPECT_FALSE(FSession->HasCategory(catFiles)); // nothing open
    ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    EXPECT_FALSE(FSession->HasCategory(catContacts));
    EXPECT_TRUE(FSession->HasCategory(catMessages));
    EXPECT_TRUE(FSession->HasCategory(catCalls)); // through the older call_history.db
    EXPECT_FALSE(FSession->HasCategory(catCalendar));
    EXPECT_TRUE(FSession->HasCategory(catNotes));      // through notes.db
    EXPECT_FALSE(FSession->HasCategory(catBookmarks)); // Safari's history lives under its app key
    EXPECT_FALSE(FSession->HasCategory(catVoicemails));
    EXPECT_TRUE(FSession->HasCategory(catFiles));
    EXPECT_FALSE(FSession->HasCategory(8));
    EXPECT_FALSE(FSession->HasCategory(-1));
}

TEST_F(Session, DeviceSelectionPrefersTheCurrentUnlessForced) {
    EXPECT_EQ(FSession->SelectDeviceBackup("nobody", false, ""), osNoBackup);
    ASSERT_EQ(FSession->SelectDeviceBackup("device-a", false, ""), osOpened);
    EXPECT_EQ(FSession->CurrentIndex(), 0); // the newest of b0 and b6
    ASSERT_EQ(FSession->SelectBackup(6, ""), osOpened);
    EXPECT_EQ(FSession->SelectDeviceBackup("DEVICE-A", false, ""), osOpened);
    EXPECT_EQ(FSession->CurrentIndex(), 6);
    EXPECT_EQ(FSession->SelectDeviceBackup("DEVICE-A", true, ""), osOpened);
    EXPECT_EQ(FSession->CurrentIndex(), 0);
}

TEST_F(Session, ProtectedFilesExtractByteExact) {
    ASSERT_EQ(FSession->SelectBackup(1, "right"), osOpened);
    const auto files = SampleFiles();
    for (const TTestFile& plan : files) {
        const std::string key =
            plan.Domain.rfind("AppDomain-", 0) == 0 ? "apple.mobilesafari/" + plan.Path : plan.Path;
        if (key == "Library/SMS/Parts/7f/03/1-1.jpg" && plan.Domain == "MediaDomain") {
            continue;
        }
        ASSERT_TRUE(FSession->Files().Contains(key)) << key;
        std::string loaded;
        FSession->LoadBackupFile(key, loaded);
        if (plan.Domain != "MediaDomain") {
            EXPECT_EQ(loaded, plan.Content) << key;
        }
    }
    const std::string working = FSession->ExtractFile("Library/CallHistory/call_history.db", ".calls");
    ASSERT_EQ(working, FSession->TempFile() + ".calls");
    EXPECT_EQ(Read(working), "calls");
    EXPECT_EQ(FSession->ExtractFile("no/such/key", ""), "");
    // The recorded size of the movie is wrong: the padding decides its length.
    ASSERT_TRUE(FSession->CopyBackupFile("Media/DCIM/IMG_0001.MOV", FOut.Path() + "movie"));
    EXPECT_EQ(Read(FOut.Path() + "movie"), std::string(1 << 20, 'm') + "end");
}

TEST_F(Session, PlainFilesAreReadInPlaceAndCopiesNeverOverwrite) {
    ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    const std::string inPlace = FSession->ExtractFile("Library/SMS/sms.db", "");
    EXPECT_EQ(inPlace, FSession->GetFilePath("Library/SMS/sms.db"));
    EXPECT_EQ(inPlace.rfind(FRoot.Path(), 0), 0u);
    ASSERT_TRUE(FSession->CopyBackupFile("Library/Empty", FOut.Path() + "empty"));
    EXPECT_EQ(Read(FOut.Path() + "empty"), "");
    EXPECT_FALSE(FSession->CopyBackupFile("Library/Empty", FOut.Path() + "empty"));
    EXPECT_EQ(FSession->LastCopyError(), EEXIST);
    EXPECT_FALSE(FSession->ExportBackupFile("Library/Empty", FOut.Path() + "empty", false));
    EXPECT_EQ(FSession->LogText(), "\r\n" + FOut.Path() + "empty:Copy:17");
    std::string stream = "stale";
    EXPECT_FALSE(FSession->LoadBackupFile("Library/Empty", stream)); // loaded but empty
    EXPECT_TRUE(stream.empty());
}

TEST_F(Session, CopiesIntoTheBackupItselfAreRefused) {
    ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    EXPECT_FALSE(FSession->CopyBackupFile("Library/Empty", FRoot.Path() + "b0/copy"));
    EXPECT_EQ(FSession->LastCopyError(), EACCES);
    EXPECT_FALSE(FSession->CopyBackupFile("Library/Empty", FRoot.Path() + "b0/new/../x/copy"));
    EXPECT_FALSE(FSession->ExportBackupFile("Library/SMS/sms.db", FRoot.Path() + "b0/nested/", true));
    const TFileExportResult result = ExportAllFiles(*FSession, FRoot.Path() + "b0/export", false);
    EXPECT_EQ(result.Exported, 0u);
    ASSERT_EQ(result.Failures.size(), 1u);
    EXPECT_EQ(result.Failures[0].Error, EACCES);
    EXPECT_FALSE(PathExists(FRoot.Path() + "b0/copy"));
    EXPECT_FALSE(PathExists(FRoot.Path() + "b0/nested"));
    EXPECT_FALSE(PathExists(FRoot.Path() + "b0/export"));
    // Beside the backup is fine.
    EXPECT_TRUE(FSession->CopyBackupFile("Library/Empty", FRoot.Path() + "copy-beside"));
}

TEST_F(Session, EncryptedCopiesNeverOverwriteEither) {
    ASSERT_EQ(FSession->SelectBackup(1, "right"), osOpened);
    ASSERT_TRUE(WriteWholeFile(FOut.Path() + "mine", "the user's own file"));
    EXPECT_FALSE(FSession->CopyBackupFile("Library/Notes/notes.db", FOut.Path() + "mine"));
    EXPECT_EQ(FSession->LastCopyError(), EEXIST);
    EXPECT_EQ(Read(FOut.Path() + "mine"), "the user's own file");
}

TEST_F(Session, AttachmentIndexByUpperCaseNameWithoutPreviews) {
    ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    const auto& parts = FSession->SmsParts();
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts.at("1-1.JPG"), "Library/SMS/Parts/7f/03/1-1.jpg"); // the first of equal names
}

TEST_F(Session, ExportKeepsFoldersAndRefusesKeysThatLeaveTheDestination) {
    ASSERT_EQ(FSession->SelectBackup(1, "right"), osOpened);
    const TFileExportResult all = ExportAllFiles(*FSession, FOut.Path() + "all", false);
    EXPECT_EQ(all.Exported, SampleFiles().size());
    EXPECT_TRUE(all.Failures.empty());
    EXPECT_EQ(Read(FOut.Path() + "all/apple.mobilesafari/Library/Safari/History.plist"), "history");
    EXPECT_EQ(Read(FOut.Path() + "all/Library/SMS/sms.db"), SampleFiles()[0].Content);

    const TFileExportResult flat = ExportAllFiles(*FSession, FOut.Path() + "flat", true);
    EXPECT_EQ(flat.Exported, SampleFiles().size());
    EXPECT_EQ(Read(FOut.Path() + "flat/1-1.jpg"), "jpeg one");
    EXPECT_EQ(Read(FOut.Path() + "flat/1-1 (2).jpg"), "jpeg duplicate name");

    for (const char* bad : {"../escape.txt", "/etc/escape", "a/../../escape", "a\\b"}) {
        EXPECT_FALSE(FSession->ExportBackupFile(bad, FOut.Path() + "safe/", true)) << bad;
    }
    EXPECT_FALSE(PathExists(FOut.Path() + "escape.txt"));
    EXPECT_NE(FSession->LogText().find(":Copy:22"), std::string::npos);
}

TEST_F(Session, NothingIsWrittenIntoTheBackupsAndWorkingFilesGoWithTheSession) {
    auto snapshot = [this] {
        std::vector<std::pair<std::string, std::uintmax_t>> entries;
        for (const auto& e : std::filesystem::recursive_directory_iterator(FRoot.Path())) {
            entries.emplace_back(e.path(), e.is_regular_file() ? e.file_size() : 0);
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    };
    const auto before = snapshot();
    ASSERT_EQ(FSession->SelectBackup(1, "right"), osOpened);
    const std::string working = FSession->ExtractFile("Library/SMS/sms.db", "");
    ASSERT_EQ(FSession->SelectBackup(2, ""), osOpened);
    ExportAllFiles(*FSession, FOut.Path() + "x", false);
    const std::string tempFolder = FSession->TempFolder();
    EXPECT_TRUE(FileExists(working));
    FSession.reset();
    EXPECT_FALSE(PathExists(tempFolder));
    EXPECT_EQ(snapshot(), before);
}

TEST_F(Session, OpeningThreadReportsTheStatus) {
    std::uint8_t reported = 99;
    auto thread = TIpodBackReadThd::CreateForIndex(FSession.get(), 1, "right",
                                                   [&](std::uint8_t result) { reported = result; });
    thread->Wait();
    EXPECT_EQ(reported, osOpened);
    EXPECT_EQ(thread->Result(), osOpened);

    bool toolCalled = false;
    auto byDevice = TIpodBackReadThd::CreateForDevice(
        FSession.get(), "device-a", "", [&](bool ok, const std::string&) { toolCalled = !ok; }, nullptr,
        true);
    byDevice->Wait();
    EXPECT_TRUE(toolCalled); // no backup tool here: reported as failed, the newest backup still opens
    EXPECT_EQ(byDevice->Result(), osOpened);
    EXPECT_EQ(FSession->CurrentIndex(), 0);
}

TEST_F(Session, RefreshOfTheOpenDeviceReopensOnlyWhenTheToolSucceeded) {
    ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    // The tool "refreshes" the backup: the open one gains a file only a reopening can see.
    const auto refresh = [this](const std::string&, std::string&) {
        TBackupPlan plan;
        plan.FolderName = "b0";
        plan.UniqueId = "DEVICE-A";
        plan.Files = SampleFiles();
        plan.Files.emplace_back("HomeDomain", "Library/new.txt", "new");
        test::WriteBackup(FRoot.Path(), plan);
        return true;
    };
    auto failed = TIpodBackReadThd::CreateForDevice(FSession.get(), "device-a", "", nullptr, nullptr, true,
                                                    [](const std::string&, std::string& error) {
                                                        error = "tool failed";
                                                        return false;
                                                    });
    failed->Wait();
    EXPECT_EQ(failed->Result(), osOpened);
    EXPECT_FALSE(FSession->Files().Contains("Library/new.txt")); // kept open unchanged
    EXPECT_NE(FSession->LogText().find("tool failed"), std::string::npos);

    auto succeeded =
        TIpodBackReadThd::CreateForDevice(FSession.get(), "device-a", "", nullptr, nullptr, true, refresh);
    succeeded->Wait();
    EXPECT_EQ(succeeded->Result(), osOpened);
    EXPECT_TRUE(FSession->Files().Contains("Library/new.txt")); // reopened
}

} // namespace
} // namespace kestrow
