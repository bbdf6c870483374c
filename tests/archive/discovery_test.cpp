#include <gtest/gtest.h>

#include "archive/backup_description.h"
#include "archive/backup_list.h"
#include "archive/ipod_backup.h"
#include "platform/date_time.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/fixed_zone.h"
#include "support/plist_writer.h"

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::XmlPlistOfDictBody;

class Discovery : public ::testing::Test {
protected:
    void WriteManifest(const std::string& folder, const std::string& body) {
        test::WriteTestFile(FRoot.Path() + folder + "/Manifest.plist", XmlPlistOfDictBody(body));
    }
    void WriteInfo(const std::string& folder, const std::string& body) {
        test::WriteTestFile(FRoot.Path() + folder + "/Info.plist", XmlPlistOfDictBody(body));
    }
    TIphoneBackups Read(const std::string& folder) {
        TIphoneBackups backups;
        ReadManifestDescription(FRoot.Path() + folder, FWork.Path() + "w", backups, FLog);
        return backups;
    }
    TTempFolder FRoot;
    TTempFolder FWork;
    TSessionLog FLog;
    test::TFixedZone FZone{"UTC"};
};

TEST_F(Discovery, ManifestGivesNameDateIdEncryptionAndKeyBag) {
    WriteManifest("abc", "<key>BackupKeyBag</key><data>VVVJRA==</data>\n"
                         "<key>Date</key><date>2012-05-10T08:15:30Z</date>\n"
                         "<key>IsEncrypted</key><true/>\n"
                         "<key>Lockdown</key><dict><key>Device Name</key><string>Anna</string>\n"
                         "<key>UniqueDeviceID</key><string>ABCDEF0123</string></dict>\n");
    const TIphoneBackups backups = Read("abc");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].Path, FRoot.Path() + "abc/");
    EXPECT_EQ(backups[0].DeviceName, "Anna");
    EXPECT_EQ(backups[0].UniqueId, "abcdef0123");
    EXPECT_TRUE(backups[0].IsEncrypted);
    EXPECT_EQ(backups[0].KeyBag, "VVVJRA==");
    EXPECT_EQ(IsoLocalText(backups[0].LastBackupDate), "2012-05-10T08:15:30");
}

TEST_F(Discovery, IsEncryptedForms) {
    const std::pair<const char*, bool> forms[] = {
        {"<true/>", true},   {"<integer>1</integer>", true}, {"<string>1</string>", true},
        {"<false/>", false}, {"<string>0</string>", false},  {"<TRUE/>", true}};
    int n = 0;
    for (const auto& [value, expected] : forms) {
        const std::string folder = std::to_string(n++) + "f";
        std::string body = "<key>IsEncrypted</key>";
        body += value;
        body += "<key>LockDown</key><dict><key>DeviceName</key><string>X</string></dict>";
        WriteManifest(folder, body);
        const TIphoneBackups backups = Read(folder);
        ASSERT_EQ(backups.size(), 1u) << value;
        EXPECT_EQ(backups[0].IsEncrypted, expected) << value;
    }
}

TEST_F(Discovery, KeysAfterLockdownAreNotRead) {
    WriteManifest("a", "<key>Lockdown</key><dict><key>DeviceName</key><string>X</string></dict>"
                       "<key>IsEncrypted</key><true/>");
    EXPECT_FALSE(Read("a").at(0).IsEncrypted);
}

TEST_F(Discovery, InfoPlistFallbackKeepsManifestEncryptionAndNoKeyBag) {
    WriteManifest("0123abcd-20120510-081530",
                  "<key>BackupKeyBag</key><data>VVVJRA==</data>"
                  "<key>IsEncrypted</key><true/>"
                  "<key>Lockdown</key><dict><key>ProductVersion</key><string>5.1</string></dict>");
    WriteInfo("0123abcd-20120510-081530", "<key>Device Name</key><string>Old Phone</string>"
                                          "<key>Last Backup Date</key><date>2011/03/04 12:00</date>");
    const TIphoneBackups backups = Read("0123abcd-20120510-081530");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].DeviceName, "Old Phone");
    EXPECT_TRUE(backups[0].IsEncrypted);
    EXPECT_TRUE(backups[0].KeyBag.empty());
    EXPECT_EQ(backups[0].UniqueId, "0123abcd");                                // derived from the folder name
    EXPECT_EQ(IsoLocalText(backups[0].LastBackupDate), "2011-03-04T00:00:00"); // date fallback
}

TEST_F(Discovery, InfoIdentifierIsLowerCased) {
    WriteManifest("f", "<key>Lockdown</key><dict/>");
    WriteInfo("f", "<key>Device Name</key><string>Phone</string>"
                   "<key>Unique Identifier</key><string>00008120-001E2D3C4B5A6978</string>");
    const TIphoneBackups backups = Read("f");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].UniqueId, "00008120-001e2d3c4b5a6978");
}

TEST_F(Discovery, UnreadableInfoIsLogged) {
    WriteManifest("abc", "<key>IsEncrypted</key><false/>");
    test::WriteTestFile(FRoot.Path() + "abc/Info.plist", "<plist><dict><key>Device Name");
    EXPECT_TRUE(Read("abc").empty());
    EXPECT_EQ(FLog.Text(), "\r\nRead backupinfo failed");
}

TEST_F(Discovery, InfoKeysMustBeKeyElements) {
    WriteManifest("abc", "<key>IsEncrypted</key><false/>");
    WriteInfo("abc", "<string>Device Name</string><string>Not a key</string>");
    EXPECT_TRUE(Read("abc").empty());
}

TEST_F(Discovery, FoldersWithoutManifestOrNameAreLeftOut) {
    WriteInfo("info-only", "<key>Device Name</key><string>X</string>");
    EXPECT_TRUE(Read("info-only").empty());
    WriteManifest("nameless", "<key>Date</key><date>2012-05-10T08:15:30Z</date>");
    EXPECT_TRUE(Read("nameless").empty());
    test::WriteTestFile(FRoot.Path() + "broken/Manifest.plist", "<plist><dict><key>");
    EXPECT_TRUE(Read("broken").empty());
    EXPECT_EQ(FLog.Text(), "\r\nDecode manifest error");
}

TEST_F(Discovery, SessionListsSortedFoldersIncludingBinaryManifests) {
    TBackupPlan plan;
    plan.UniqueId = "FFEE";
    for (const char* name : {"zz", "aa", "mm"}) {
        plan.FolderName = name;
        plan.DeviceName = std::string("Phone ") + name;
        test::WriteBackup(FRoot.Path(), plan);
    }
    test::WriteTestFile(FRoot.Path() + "not-a-folder", "x");
    TIpodBackup session(FRoot.Path());
    ASSERT_EQ(session.Backups().size(), 3u);
    EXPECT_EQ(session.Backups()[0].DeviceName, "Phone aa");
    EXPECT_EQ(session.Backups()[2].DeviceName, "Phone zz");
    EXPECT_EQ(session.Backups()[1].UniqueId, "ffee");
    EXPECT_TRUE(TIpodBackup(FRoot.Path() + "missing/").Backups().empty());
}

TEST(BackupList, FindNewestBackupPrefersTheFirstOfEqualDates) {
    TIphoneBackups backups(4);
    backups[0] = {"/a/", "A", 100, "dev", false, ""};
    backups[1] = {"/b/", "B", 200, "DEV", false, ""};
    backups[2] = {"/c/", "C", 200, "dev", false, ""};
    backups[3] = {"/d/", "D", 300, "other", false, ""};
    int index = 0;
    EXPECT_EQ(FindNewestBackup(backups, "Dev", index), 200);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(FindNewestBackup(backups, "none", index), 0);
    EXPECT_EQ(index, -1);
    backups[3].LastBackupDate = 0;
    EXPECT_EQ(FindNewestBackup(backups, "other", index), 0);
    EXPECT_EQ(index, -1);
}

TEST(BackupList, RootFromEnvironment) {
    ::setenv("KESTROW_BACKUP_ROOT", "/x/y", 1);
    EXPECT_EQ(BackupRoot(), "/x/y/");
    ::unsetenv("KESTROW_BACKUP_ROOT");
    ::setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(BackupRoot(), "/data/Apple Computer/MobileSync/Backup/");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(UniqueIdFromFolder("/r/0123abcd-20120510-081530/"), "0123abcd");
    EXPECT_EQ(UniqueIdFromFolder("/r/0123abcd/"), "0123abcd");
}

} // namespace
} // namespace kestrow
