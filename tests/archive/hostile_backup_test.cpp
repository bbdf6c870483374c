// Backups whose content is hostile: content files that are links, FIFOs or devices, keys that would
// leave the destination, and manifests sized to exhaust memory. Each goes through the path a
// user's backup takes: a generated backup folder, opened by a session.
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "archive/manifest_db.h"
#include "export/file_export.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/crypto_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::TLayout;
using test::TTestFile;

struct THostileCase {
    TLayout Layout;
    bool Encrypted;
};

std::string Describe(const ::testing::TestParamInfo<THostileCase>& info) {
    const char* layout = info.param.Layout == TLayout::Mbdb  ? "Mbdb"
                         : info.param.Layout == TLayout::Old ? "Old"
                                                             : "ManifestDb";
    return std::string(layout) + (info.param.Encrypted ? "Encrypted" : "Plain");
}

class HostileContent : public ::testing::TestWithParam<THostileCase> {
protected:
    void SetUp() override {
        TBackupPlan plan;
        plan.FolderName = "victim";
        plan.Layout = GetParam().Layout;
        plan.Encrypted = GetParam().Encrypted;
        plan.Password = "pw";
        plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "messages"),
                      TTestFile("HomeDomain", "Library/Notes/notes.sqlite", "notes")};
        FFolder = test::WriteBackup(FRoot.Path(), plan);
        ASSERT_TRUE(WriteWholeFile(FOutside.Path() + "secret", "KESTROW_PASSWORD=hunter2"));
    }

    std::string ContentOf(const std::string& path) const {
        const std::string id = test::OpenSslSha1Hex("HomeDomain-" + path);
        switch (GetParam().Layout) {
        case TLayout::ManifestDb:
            return FFolder + id.substr(0, 2) + "/" + id;
        case TLayout::Old:
            return FFolder + id + ".mddata";
        default:
            return FFolder + id;
        }
    }

    // Opens the backup and checks that the replaced sms.db is refused everywhere while notes.sqlite
    // still comes out.
    void ExpectSmsRefused() {
        TIpodBackup session(FRoot.Path());
        ASSERT_EQ(session.SelectBackup(0, "pw"), osOpened);
        EXPECT_FALSE(session.CopyBackupFile("Library/SMS/sms.db", FOut.Path() + "sms.db"));
        EXPECT_EQ(session.LastCopyError(), kNotRegularFileError);
        EXPECT_FALSE(PathExists(FOut.Path() + "sms.db"));
        std::string loaded = "stale";
        EXPECT_FALSE(session.LoadBackupFile("Library/SMS/sms.db", loaded));
        EXPECT_EQ(loaded, "");
        EXPECT_EQ(session.ExtractFile("Library/SMS/sms.db", ".sms"), "");
        const TFileExportResult result = ExportAllFiles(session, FOut.Path() + "all", false);
        EXPECT_EQ(result.Exported, 1u);
        ASSERT_EQ(result.Failures.size(), 1u);
        EXPECT_EQ(result.Failures[0].Key, "Library/SMS/sms.db");
        EXPECT_EQ(result.Failures[0].Error, kNotRegularFileError);
        EXPECT_FALSE(PathExists(FOut.Path() + "all/Library/SMS/sms.db"));
        std::string notes;
        ASSERT_TRUE(ReadWholeFile(FOut.Path() + "all/Library/Notes/notes.sqlite", notes));
        EXPECT_EQ(notes, "notes");
        EXPECT_NE(session.LogText().find("all/Library/SMS/sms.db:Copy:95"), std::string::npos);
    }

    void Replace(const std::string& content, const std::function<void(const std::string&)>& make) {
        std::filesystem::remove(content);
        make(content);
    }

    TTempFolder FRoot;
    TTempFolder FOut;
    TTempFolder FOutside;
    std::string FFolder;
};

TEST_P(HostileContent, LinkToAnotherFileIsNotFollowed) {
    Replace(ContentOf("Library/SMS/sms.db"), [this](const std::string& at) {
        std::filesystem::create_symlink(FOutside.Path() + "secret", at);
    });
    ExpectSmsRefused();
}

TEST_P(HostileContent, FifoDoesNotHang) {
    Replace(ContentOf("Library/SMS/sms.db"),
            [](const std::string& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); });
    ExpectSmsRefused();
}

TEST_P(HostileContent, LinkToAnEndlessDeviceIsNotRead) {
    Replace(ContentOf("Library/SMS/sms.db"),
            [](const std::string& at) { std::filesystem::create_symlink("/dev/zero", at); });
    ExpectSmsRefused();
}

TEST_P(HostileContent, FolderInPlaceOfAFile) {
    Replace(ContentOf("Library/SMS/sms.db"),
            [](const std::string& at) { std::filesystem::create_directory(at); });
    ExpectSmsRefused();
}

INSTANTIATE_TEST_SUITE_P(Layouts, HostileContent,
                         ::testing::Values(THostileCase{TLayout::Mbdb, false},
                                           THostileCase{TLayout::Mbdb, true},
                                           THostileCase{TLayout::ManifestDb, false},
                                           THostileCase{TLayout::ManifestDb, true},
                                           THostileCase{TLayout::Old, false}),
                         Describe);

TEST(HostileShard, LinkedTwoHexDigitFolderIsNotFollowed) {
    TTempFolder root;
    TTempFolder outside;
    TBackupPlan plan;
    plan.FolderName = "current";
    plan.Layout = TLayout::ManifestDb;
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "messages")};
    const std::string folder = test::WriteBackup(root.Path(), plan);
    const std::string id = test::OpenSslSha1Hex("HomeDomain-Library/SMS/sms.db");
    // The shard points elsewhere, to a folder holding a file of the same name.
    std::filesystem::rename(folder + id.substr(0, 2), outside.Path() + "shard");
    std::filesystem::create_directory_symlink(outside.Path() + "shard", folder + id.substr(0, 2));
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    EXPECT_FALSE(session.CopyBackupFile("Library/SMS/sms.db", outside.Path() + "copy"));
    EXPECT_EQ(session.LastCopyError(), kNotRegularFileError);
    EXPECT_EQ(session.ExtractFile("Library/SMS/sms.db", ""), "");
}

class HostileKeys : public ::testing::TestWithParam<TLayout> {};

TEST_P(HostileKeys, KeysThatLeaveTheDestinationAreRefusedNotFollowed) {
    TTempFolder root;
    TTempFolder out;
    TBackupPlan plan;
    plan.FolderName = "keys";
    plan.Layout = GetParam();
    plan.Files = {
        TTestFile("HomeDomain", "../escape1.txt", "1"),   TTestFile("HomeDomain", "a/../../escape2.txt", "2"),
        TTestFile("HomeDomain", "/tmp/escape3.txt", "3"), TTestFile("HomeDomain", "dots/..", "4"),
        TTestFile("HomeDomain", "back\\slash", "5"),      TTestFile("HomeDomain", "Library/fine.txt", "6")};
    test::WriteBackup(root.Path(), plan);
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    ASSERT_EQ(session.Files().Size(), 6u); // the keys are in the table: the path checks refuse them
    const std::string dest = out.Path() + "a/b/";
    const TFileExportResult nested = ExportAllFiles(session, dest, false);
    EXPECT_EQ(nested.Exported, 1u);
    ASSERT_EQ(nested.Failures.size(), 5u);
    for (const TFileExportFailure& failure : nested.Failures) {
        EXPECT_EQ(failure.Error, EINVAL) << failure.Key;
    }
    const TFileExportResult flat = ExportAllFiles(session, out.Path() + "flat/", true);
    EXPECT_EQ(flat.Exported, 4u); // "dots/.." and "back\\slash" have no usable last component
    ASSERT_EQ(flat.Failures.size(), 2u);
    EXPECT_EQ(flat.Failures[0].Key, "dots/..");
    EXPECT_EQ(flat.Failures[1].Key, "back\\slash");
    EXPECT_FALSE(PathExists(out.Path() + "escape1.txt"));
    EXPECT_FALSE(PathExists(out.Path() + "a/escape2.txt"));
    EXPECT_FALSE(PathExists("/tmp/escape3.txt"));
    std::string fine;
    ASSERT_TRUE(ReadWholeFile(dest + "Library/fine.txt", fine));
    EXPECT_EQ(fine, "6");
    EXPECT_FALSE(session.ExportBackupFile("../escape1.txt", dest + "x", true));
    EXPECT_NE(session.LogText().find(dest + "../escape1.txt:Copy:22"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Layouts, HostileKeys, ::testing::Values(TLayout::Mbdb, TLayout::ManifestDb));

TEST(HostileManifest, SparseMbdbDoesNotSizeTheTable) {
    TTempFolder root;
    TBackupPlan plan;
    plan.FolderName = "sparse";
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "messages")};
    const std::string folder = test::WriteBackup(root.Path(), plan);
    ASSERT_EQ(::truncate((folder + "Manifest.mbdb").c_str(), std::int64_t{64} << 30), 0); // 64 GB, one record
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    EXPECT_EQ(session.Files().Size(), 1u);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss, 1024 * 1024) << "peak kilobytes"; // under 1 GiB
}

TEST(HostileManifest, EncryptedRowWithoutItsRecordStaysOut) {
    TTempFolder root;
    TBackupPlan plan;
    plan.FolderName = "enc";
    plan.Layout = TLayout::ManifestDb;
    plan.Encrypted = true;
    plan.Password = "pw";
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "messages"),
                  TTestFile("HomeDomain", "Library/Notes/notes.sqlite", "notes")};
    test::WriteBackup(root.Path(), plan);
    TIpodBackup first(root.Path());
    ASSERT_EQ(first.SelectBackup(0, "pw"), osOpened);
    const std::string manifest = first.TempFolder() + "Manifest.db";
    // The decrypted manifest is rebuilt on each opening, so the damage goes into the encrypted one:
    // here the check is direct, on the plain copy the session made.
    test::ExecSql(manifest, "UPDATE Files SET file = NULL WHERE relativePath = 'Library/Notes/notes.sqlite'");
    TFileTable files;
    TSessionLog log;
    EXPECT_EQ(ReadManifestDb(manifest, first.TempFolder(), true, first.KeyBag(), files, log), 1);
    EXPECT_TRUE(files.Contains("Library/SMS/sms.db"));
    EXPECT_FALSE(files.Contains("Library/Notes/notes.sqlite"));
}

} // namespace
} // namespace kestrow
