#include <filesystem>
#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "archive/manifest_mbdb.h"
#include "archive/old_manifest.h"
#include "crypto/digest.h"
#include "crypto/key_bag.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/keybag_writer.h"
#include "support/mbdb_writer.h"

namespace kestrow {
namespace {

using test::MbdbBytes;
using test::TMbdbRecordPlan;

TMbdbRecordPlan Record(const std::string& domain, const std::string& path, std::uint16_t mode = 0x81A4,
                       std::int64_t size = 10) {
    TMbdbRecordPlan record;
    record.Domain = domain;
    record.Path = path;
    record.Mode = mode;
    record.Size = size;
    return record;
}

class Mbdb : public ::testing::Test {
protected:
    int Read(const std::string& bytes, bool encrypted = false, TBackupKeyBag* keyBag = nullptr) {
        FFiles.Clear();
        return ReadMbdbBytes(bytes, encrypted, keyBag, FFiles, FLog);
    }
    TFileTable FFiles;
    TSessionLog FLog;
};

TEST_F(Mbdb, TableKeysNamesAndAppFlag) {
    TMbdbRecordPlan withEverything =
        Record("AppDomain-com.apple.mobilesafari", "Library/Safari/History.plist");
    withEverything.LinkTarget = "target";
    withEverything.DataHash = std::string(20, '\x01');
    withEverything.EncryptionKey = "ignored in a plain backup";
    withEverything.Properties = {{"com.apple.x", "value"}, {"other", ""}};
    ASSERT_EQ(Read(MbdbBytes({Record("HomeDomain", "Library/SMS/sms.db", 0x81A4, 12345), withEverything})),
              2);
    const TBackupFile* sms = FFiles.Find("Library/SMS/sms.db");
    ASSERT_NE(sms, nullptr);
    EXPECT_EQ(sms->FileName, "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
    EXPECT_EQ(sms->Size, 12345);
    EXPECT_FALSE(sms->IsApp);
    const TBackupFile* history = FFiles.Find("apple.mobilesafari/Library/Safari/History.plist");
    ASSERT_NE(history, nullptr);
    EXPECT_TRUE(history->IsApp);
    EXPECT_EQ(history->FileName, Sha1HexOf("AppDomain-com.apple.mobilesafari-Library/Safari/History.plist"));
    EXPECT_TRUE(history->Key.empty());
}

TEST_F(Mbdb, OnlyRegularFilesWithAPathEnterAndEveryRecordIsKept) {
    TMbdbRecordPlan absentPath = Record("HomeDomain", "");
    absentPath.Path = std::nullopt;
    const int count = Read(
        MbdbBytes({Record("HomeDomain", "Library", 0x41ED), Record("HomeDomain", "link", 0xA1FF), absentPath,
                   Record("HomeDomain", "a.txt", 0x81A4, 1), Record("MediaDomain", "a.txt", 0x81A4, 2),
                   Record("HomeDomain", "b.txt"), Record("MediaDomain", "a.txt", 0x81A4, 3)}));
    EXPECT_EQ(count, 4);
    // The first record of a key holds it; the others go under their domains, numbered when even that
    // name is taken.
    std::vector<std::string> names;
    for (const auto& entry : FFiles) {
        names.push_back(entry.first + "=" + std::to_string(entry.second.Size) + ":" +
                        std::string(RelativePathOf(entry)));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt=1:a.txt", "MediaDomain/a.txt=2:a.txt", "b.txt=10:b.txt",
                                               "MediaDomain (2)/a.txt=3:a.txt"}));
    EXPECT_EQ(FFiles.Find("a.txt")->Size, 1);
}

TEST_F(Mbdb, WrongMagicTruncationAndEmptyDomainEndQuietly) {
    EXPECT_EQ(Read("mbdx\x05\x00"), 0);
    EXPECT_EQ(Read(""), 0);
    EXPECT_EQ(Read("mbdb\x05\x00"), 0);
    TMbdbRecordPlan withProperty = Record("D", "two");
    withProperty.Properties = {{"name", "value"}};
    const std::string one = MbdbBytes({Record("D", "one")});
    const std::string two = one + test::MbdbRecordBytes(withProperty);
    // The second record counts once its size is there: a cut in its protection class, property
    // count or properties still enters it.
    const std::size_t sizeEnd = one.size() + 3 + 5 + 2 + 2 + 2 + 2 + 28 + 8;
    for (std::size_t cut = two.size() - 1; cut > one.size(); --cut) {
        const int count = Read(two.substr(0, cut));
        EXPECT_EQ(count, cut >= sizeEnd ? 2 : 1) << cut;
        EXPECT_EQ(FFiles.Size(), static_cast<std::size_t>(count));
    }
    std::string withEnd = MbdbBytes({Record("D", "one")}) + std::string("\x00\x00", 2) +
                          test::MbdbRecordBytes(Record("D", "two"));
    EXPECT_EQ(Read(withEnd), 1);
    EXPECT_TRUE(FLog.Text().empty());
}

TEST_F(Mbdb, AppDomainPrefixIsCutByCharactersNotBytes) {
    // "AppDomain-" and four more characters go, the last of them a two-byte one.
    ASSERT_EQ(Read(MbdbBytes({Record("AppDomain-co\xC3\xA9.app", "a.txt"), Record("AppDomain-x", "b.txt")})),
              2);
    EXPECT_TRUE(FFiles.Contains("app/a.txt"));
    EXPECT_TRUE(FFiles.Contains("/b.txt")); // a short application domain leaves nothing before the "/"
}

TEST_F(Mbdb, TextStopsAtNul) {
    EXPECT_EQ(Read(MbdbBytes({Record("HomeDomain", std::string("a.txt\0junk", 10))})), 1);
    EXPECT_TRUE(FFiles.Contains("a.txt"));
    // A domain that is empty once cut at its NUL ends the reading.
    EXPECT_EQ(Read(MbdbBytes({Record("HomeDomain", "a"), Record(std::string("\0X", 2), "b"),
                              Record("HomeDomain", "c")})),
              1);
}

TEST(MbdbFile, ThereButUnreadableIsLogged) {
    TTempFolder folder;
    TTempFolder outside;
    TFileTable files;
    TSessionLog log;
    EXPECT_EQ(ReadMbdb(folder.Path(), false, nullptr, files, log), 0);
    EXPECT_EQ(log.Text(), ""); // missing: nothing to say
    test::WriteTestFile(outside.Path() + "Manifest.mbdb", MbdbBytes({Record("D", "a")}));
    std::filesystem::create_symlink(outside.Path() + "Manifest.mbdb", folder.Path() + "Manifest.mbdb");
    EXPECT_EQ(ReadMbdb(folder.Path(), false, nullptr, files, log), 0);
    EXPECT_EQ(log.Text(), "\r\nDump MBD- error");
}

TEST_F(Mbdb, EncryptedRecordsGetTheirKeyOrStayOut) {
    test::TTestKeyBag bag("pw", 10);
    bag.AddClass(2, 2, 1).AddClass(3);
    TBackupKeyBag keyBag(bag.Base64(), 0);
    ASSERT_TRUE(keyBag.SetItunesPassword("pw"));
    const TBytes aesKey(32, 0x11);
    const TBytes curveKey(32, 0x22);
    TMbdbRecordPlan aes = Record("HomeDomain", "aes");
    aes.ProtectionClass = 3;
    aes.EncryptionKey = test::ProtectionPrefix(3) + StringOf(bag.WrapFileKey(3, aesKey));
    TMbdbRecordPlan curve = Record("HomeDomain", "curve");
    curve.ProtectionClass = 2;
    curve.EncryptionKey = test::ProtectionPrefix(2) + StringOf(bag.WrapFileKey(2, curveKey));
    TMbdbRecordPlan noClassKey = Record("HomeDomain", "no-class");
    noClassKey.ProtectionClass = 7;
    noClassKey.EncryptionKey = test::ProtectionPrefix(7) + StringOf(bag.WrapFileKey(3, aesKey));
    TMbdbRecordPlan unprotected = Record("HomeDomain", "plain"); // absent key string
    ASSERT_EQ(Read(MbdbBytes({aes, curve, noClassKey, unprotected}), true, &keyBag), 4);
    EXPECT_EQ(FFiles.Find("aes")->Key, aesKey);
    EXPECT_EQ(FFiles.Find("curve")->Key, curveKey);
    EXPECT_FALSE(FFiles.Contains("no-class"));
    ASSERT_TRUE(FFiles.Contains("plain"));
    EXPECT_TRUE(FFiles.Find("plain")->Key.empty());
}

TEST_F(Mbdb, TruncatedKeyInEncryptedBackupIsLogged) {
    std::string bytes = MbdbBytes({Record("HomeDomain", "a")});
    bytes += std::string("\x00\x01"
                         "D"
                         "\x00\x01"
                         "b"
                         "\xFF\xFF"
                         "\xFF\xFF"
                         "\x00\x30"
                         "abc",
                         15);
    TBackupKeyBag keyBag("", 0);
    EXPECT_EQ(Read(bytes, true, &keyBag), 1);
    EXPECT_EQ(FLog.Text(), "\r\nDump MBD- error");
}

TEST(OldManifest, ReadsNestedListsAndKeepsTheNewerOfTwoFiles) {
    TTempFolder root;
    test::TBackupPlan plan;
    plan.FolderName = "old";
    plan.Layout = test::TLayout::Old;
    plan.LockdownInManifest = false;
    plan.Files = {{"HomeDomain", "Library/SMS/sms.db", "older"},
                  {"MediaDomain", "Library/SMS/sms.db", "newer"},
                  {"AppDomain-com.example.app", "Documents/a.txt", "app file"}};
    const std::string folder = test::WriteBackup(root.Path(), plan);
    // Make the HomeDomain copy the older one on disk.
    const std::string older = folder + Sha1HexOf("HomeDomain-Library/SMS/sms.db") + ".mddata";
    const utimbuf past{1000, 1000};
    ASSERT_EQ(::utime(older.c_str(), &past), 0);
    TTempFolder work;
    TFileTable files;
    EXPECT_EQ(ReadOldManifest(folder, work.Path() + "w", files), 3);
    ASSERT_TRUE(files.Contains("Library/SMS/sms.db"));
    EXPECT_EQ(files.Find("Library/SMS/sms.db")->FileName,
              Sha1HexOf("MediaDomain-Library/SMS/sms.db") + ".mddata");
    EXPECT_EQ(files.Find("Library/SMS/sms.db")->Size, 5);
    // The older file is listed too, under its domain.
    ASSERT_TRUE(files.Contains("HomeDomain/Library/SMS/sms.db"));
    EXPECT_EQ(files.Find("HomeDomain/Library/SMS/sms.db")->FileName,
              Sha1HexOf("HomeDomain-Library/SMS/sms.db") + ".mddata");
    ASSERT_TRUE(files.Contains("example.app/Documents/a.txt"));
    EXPECT_TRUE(files.Find("example.app/Documents/a.txt")->IsApp);
    EXPECT_EQ(ReadMdInfoPath(folder, "../../etc/passwd", work.Path() + "w"), "");
    EXPECT_EQ(ReadOldManifest(work.Path(), work.Path() + "w", files), 0);
}

} // namespace
} // namespace kestrow
