#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "archive/manifest_db.h"
#include "crypto/digest.h"
#include "crypto/password_key_cache.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::TTestFile;

std::vector<TTestFile> CurrentFiles() {
    std::vector<TTestFile> files = {
        TTestFile("HomeDomain", "Library/SMS/sms.db", std::string("SQLite format 3\0", 16) + "messages"),
        TTestFile("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata", "calls"),
        TTestFile("AppDomain-com.apple.mobilesafari", "Library/Safari/History.plist", "history"),
        TTestFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.HEIC", std::string(100000, 'h')),
        TTestFile("HomeDomain", "Library/SMS", "", 0x41ED),
        TTestFile("HomeDomain", "Library/link", "", 0xA1FF),
        TTestFile("MediaDomain", "Library/SMS/sms.db", "a second file with the same key"),
    };
    files[1].ProtectionClass = 2;  // Curve25519
    files[3].RecordedSize = 99990; // wrong on purpose
    return files;
}

class CurrentLayout : public ::testing::Test {
protected:
    static TBackupPlan Plan(const std::string& name, bool encrypted) {
        TBackupPlan plan;
        plan.FolderName = name;
        plan.Layout = test::TLayout::ManifestDb;
        plan.Encrypted = encrypted;
        plan.Password = "current";
        plan.KeyBagVersion = 4;
        plan.Iterations = 3;
        plan.DoubleIterations = 5;
        plan.Files = CurrentFiles();
        return plan;
    }
    std::string Write(const std::string& name, bool encrypted) {
        return test::WriteBackup(FRoot.Path(), Plan(name, encrypted));
    }
    std::string Load(TIpodBackup& session, const std::string& key) {
        std::string contents;
        session.LoadBackupFile(key, contents);
        return contents;
    }
    TTempFolder FRoot;
    TTempFolder FWork;
};

TEST_F(CurrentLayout, PlainManifestGivesRegularFilesUnderTheirKeys) {
    const std::string folder = Write("plain", false);
    // Rows that must be skipped: odd flags, NULL columns, an ID that is no content name.
    test::ExecSql(folder + "Manifest.db",
                  "INSERT INTO Files VALUES ('" + std::string(40, 'a') +
                      "', 'HomeDomain', 'odd', 8, NULL);"
                      "INSERT INTO Files VALUES ('" +
                      std::string(40, 'b') +
                      "', NULL, 'nulldomain', 1, NULL);"
                      "INSERT INTO Files VALUES ('" +
                      std::string(40, 'c') +
                      "', 'HomeDomain', 'nullflags', NULL, NULL);"
                      "INSERT INTO Files VALUES ('../../../../etc/passwd', 'HomeDomain', 'evil', 1, NULL);"
                      "INSERT INTO Files VALUES ('" +
                      std::string(40, 'd') + "', 'HomeDomain', 'noblob', 1, NULL);");
    TFileTable files;
    TSessionLog log;
    EXPECT_EQ(ReadManifestDb(folder + "Manifest.db", FWork.Path(), false, nullptr, files, log), 5);
    ASSERT_EQ(files.Size(), 5u);
    const TBackupFile* sms = files.Find("Library/SMS/sms.db");
    ASSERT_NE(sms, nullptr);
    EXPECT_EQ(sms->FileName, "3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    EXPECT_EQ(sms->Size, 24);
    EXPECT_TRUE(files.Find("apple.mobilesafari/Library/Safari/History.plist")->IsApp);
    EXPECT_EQ(files.Find("Media/DCIM/100APPLE/IMG_0001.HEIC")->Size, 99990);
    EXPECT_EQ(files.Find("noblob")->Size, 0);
    EXPECT_FALSE(files.Contains("Library/SMS"));
    EXPECT_FALSE(files.Contains("evil"));
    EXPECT_TRUE(log.Text().empty());
}

TEST_F(CurrentLayout, EncryptedBackupOpensWithOneDerivationAndExtractsByteExact) {
    Write("encrypted", true);
    TIpodBackup session(FRoot.Path());
    ASSERT_EQ(session.Backups().size(), 1u);
    EXPECT_EQ(session.SelectBackup(0, "wrong"), osWrongPassword);
    ForgetPasswordKeys(); // the writer derived the right key itself
    const std::uint64_t before = PasswordKeyDerivationCount();
    // The password check of a dialog, then the opening: one derivation between them.
    TBackupKeyBag dialogKeyBag(session.Backups()[0].KeyBag, 0);
    ASSERT_TRUE(dialogKeyBag.TestItunesPassword("current"));
    ASSERT_EQ(session.SelectBackup(0, "current"), osOpened);
    EXPECT_EQ(PasswordKeyDerivationCount() - before, 1u);
    EXPECT_EQ(session.Files().Size(), 4u);
    EXPECT_EQ(Load(session, "Library/SMS/sms.db"), CurrentFiles()[0].Content);
    EXPECT_EQ(Load(session, "Library/CallHistoryDB/CallHistory.storedata"), "calls");
    EXPECT_EQ(Load(session, "Media/DCIM/100APPLE/IMG_0001.HEIC"), std::string(100000, 'h'));
    EXPECT_TRUE(session.HasCategory(catCalls));
    // The decrypted manifest lives in the private folder only.
    EXPECT_TRUE(FileExists(session.TempFolder() + "Manifest.db"));
}

TEST_F(CurrentLayout, CurrentManifestIsPreferredAndDamageIsLogged) {
    const std::string folder = Write("both", false);
    test::WriteTestFile(folder + "Manifest.mbdb", "mbdb\x05\x00");
    TIpodBackup session(FRoot.Path());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    EXPECT_EQ(session.Files().Size(), 4u);

    test::WriteTestFile(folder + "Manifest.db", "not a database at all, just some bytes of text");
    TIpodBackup damaged(FRoot.Path());
    EXPECT_EQ(damaged.SelectBackup(0, ""), osNoFile);
    EXPECT_EQ(damaged.LogText(), "\r\nDump MBD- error");
}

TEST_F(CurrentLayout, EncryptedWithoutManifestKeyCannotOpen) {
    Write("nokey", true);
    TIpodBackup withKey(FRoot.Path());
    ASSERT_EQ(withKey.SelectBackup(0, "current"), osOpened);
    // Replace the description by one without ManifestKey (the manifest cannot be decrypted).
    TBackupPlan plan = Plan("nokey", true);
    plan.Layout = test::TLayout::None;
    test::WriteBackup(FRoot.Path(), plan);
    TIpodBackup session(FRoot.Path());
    EXPECT_EQ(session.SelectBackup(0, "current"), osNoFile);
    EXPECT_EQ(session.LogText(), "\r\nDecode manifest error");
}

TEST(MbFile, KeyedArchivesAndHostileBlobs) {
    TMbFileInfo info;
    ASSERT_TRUE(ParseMbFile(test::MbFileBlob("a/b", 1234, 3, 0x81A4, std::string(44, 'k')), info));
    EXPECT_EQ(info.Size, 1234);
    EXPECT_EQ(info.ProtectionClass, 3);
    EXPECT_EQ(info.EncryptionKey, TBytes(44, 'k'));
    ASSERT_TRUE(ParseMbFile(test::MbFileBlob("a/b", 7, 4, 0x81A4, ""), info));
    EXPECT_TRUE(info.EncryptionKey.empty());
    EXPECT_FALSE(ParseMbFile("", info));
    EXPECT_FALSE(ParseMbFile("bplist00garbagegarbage", info));
    const std::string blob = test::MbFileBlob("a/b", 7, 4, 0x81A4, std::string(44, 'k'));
    for (std::size_t cut = 0; cut < blob.size(); ++cut) {
        ParseMbFile(blob.substr(0, cut), info); // must not crash
    }
}

} // namespace
} // namespace kestrow
