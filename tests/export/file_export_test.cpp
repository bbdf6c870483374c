// Where exports may write and how: never over what is there, never through a link, never into a
// backup, never a half-written file under its final name.
#include <filesystem>
#include <map>
#include <sys/stat.h>

#include <climits>
#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "export/export_path.h"
#include "export/file_export.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/file_tree.h"

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::TTestFile;

std::string Read(const std::string& path) {
    EXPECT_TRUE(PathExists(path)) << path;
    return test::FileText(path);
}

// Backup 0 plain, backup 1 encrypted, both of one device.
class FileExport : public ::testing::Test {
protected:
    void SetUp() override {
        TBackupPlan plan;
        plan.FolderName = "b0";
        plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "messages"),
                      TTestFile("HomeDomain", "Library/Notes/notes.sqlite", "notes"),
                      TTestFile("MediaDomain", "Media/DCIM/IMG_1.JPG", std::string(300000, 'j')),
                      TTestFile("HomeDomain", "Library/Empty", "")};
        test::WriteBackup(FRoot.Path(), plan);
        plan.FolderName = "b1";
        plan.Encrypted = true;
        plan.Password = "pw";
        test::WriteBackup(FRoot.Path(), plan);
        FSession = std::make_unique<TIpodBackup>(FRoot.Path());
        ASSERT_EQ(FSession->Backups().size(), 2u);
    }
    TTempFolder FRoot;
    TTempFolder FOut;
    std::unique_ptr<TIpodBackup> FSession;
};

TEST_F(FileExport, AnExistingFileAlwaysWins) {
    for (int index : {0, 1}) {
        ASSERT_EQ(FSession->SelectBackup(index, "pw"), osOpened);
        const std::string dest = FOut.Path() + std::to_string(index) + "/";
        ASSERT_EQ(ExportAllFiles(*FSession, dest, false).Exported, 4u);
        ASSERT_TRUE(WriteWholeFile(dest + "Library/SMS/sms.db", "the user's edit"));
        const TFileExportResult again = ExportAllFiles(*FSession, dest, false);
        EXPECT_EQ(again.Exported, 0u);
        ASSERT_EQ(again.Failures.size(), 4u);
        for (const TFileExportFailure& failure : again.Failures) {
            EXPECT_EQ(failure.Error, EEXIST) << failure.Key;
        }
        EXPECT_EQ(Read(dest + "Library/SMS/sms.db"), "the user's edit");
        EXPECT_EQ(test::NamesBelow(dest).size(), 9u); // 4 files, 5 folders: no private names left behind
    }
}

TEST_F(FileExport, NewFilesTakeTheUmask) {
    const mode_t old = ::umask(027);
    for (int index : {0, 1}) {
        ASSERT_EQ(FSession->SelectBackup(index, "pw"), osOpened);
        const std::string dest = FOut.Path() + std::to_string(index) + "/";
        ASSERT_EQ(ExportAllFiles(*FSession, dest, false).Exported, 4u);
        ASSERT_TRUE(FSession->CopyBackupFile("Media/DCIM/IMG_1.JPG", dest + "single.jpg"));
        for (const char* file : {"Library/SMS/sms.db", "Media/DCIM/IMG_1.JPG", "single.jpg"}) {
            struct stat info {};
            ASSERT_EQ(::stat((dest + file).c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0640u) << index << " " << file;
        }
        struct stat folder {};
        ASSERT_EQ(::stat((dest + "Library/SMS").c_str(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 0777, 0750u);
    }
    ::umask(old);
}

TEST_F(FileExport, LinksInsideTheDestinationAreNotFollowed) {
    TTempFolder elsewhere;
    const std::string dest = FOut.Path() + "dest/";
    MakeFolders(dest + "Media");
    std::filesystem::create_directory_symlink(elsewhere.Path(), dest + "Library");
    std::filesystem::create_directory_symlink(elsewhere.Path(), dest + "Media/DCIM");
    ASSERT_EQ(FSession->SelectBackup(1, "pw"), osOpened);
    const TFileExportResult result = ExportAllFiles(*FSession, dest, false);
    EXPECT_EQ(result.Exported, 0u);
    ASSERT_EQ(result.Failures.size(), 4u);
    for (const TFileExportFailure& failure : result.Failures) {
        EXPECT_EQ(failure.Error, ELOOP) << failure.Key;
    }
    EXPECT_TRUE(test::NamesBelow(elsewhere.Path()).empty());
    EXPECT_FALSE(FSession->ExportBackupFile("Library/SMS/sms.db", dest, true));
    EXPECT_EQ(FSession->LastCopyError(), ELOOP);
    EXPECT_TRUE(test::NamesBelow(elsewhere.Path()).empty());
}

TEST_F(FileExport, NoBackupFolderOfTheRootIsEverWrittenTo) {
    ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    // The other backup of the root, directly, below, and through a link to the root.
    const std::string linkedRoot = FOut.Path() + "root-link";
    std::filesystem::create_directory_symlink(WithoutTrailingSlash(FRoot.Path()), linkedRoot);
    for (const std::string& dest : {FRoot.Path() + "b1/", FRoot.Path() + "b1/deeper/", linkedRoot + "/b1/x/",
                                    linkedRoot + "/b0/", FRoot.Path() + "b0/new/../x/"}) {
        const TFileExportResult result = ExportAllFiles(*FSession, dest, false);
        EXPECT_EQ(result.Exported, 0u) << dest;
        ASSERT_EQ(result.Failures.size(), 1u) << dest;
        EXPECT_EQ(result.Failures[0].Error, EACCES) << dest;
        EXPECT_FALSE(FSession->CopyBackupFile("Library/Empty", dest + "copy")) << dest;
        EXPECT_EQ(FSession->LastCopyError(), EACCES) << dest;
    }
    EXPECT_FALSE(PathExists(FRoot.Path() + "b1/deeper"));
    EXPECT_FALSE(PathExists(FRoot.Path() + "b0/new"));
    // A session reached through the link refuses the real path just as well.
    TIpodBackup linked(linkedRoot);
    ASSERT_EQ(linked.SelectBackup(0, ""), osOpened);
    EXPECT_FALSE(linked.CopyBackupFile("Library/Empty", FRoot.Path() + "b1/copy"));
    EXPECT_EQ(linked.LastCopyError(), EACCES);
    // Beside the backups, in the root itself, is allowed.
    EXPECT_TRUE(linked.CopyBackupFile("Library/Empty", FRoot.Path() + "beside"));
}

TEST_F(FileExport, StopLeavesOnlyWholeFiles) {
    ASSERT_EQ(FSession->SelectBackup(1, "pw"), osOpened);
    const std::map<std::string, std::string> contents = {{"Library/SMS/sms.db", "messages"},
                                                         {"Library/Notes/notes.sqlite", "notes"},
                                                         {"Media/DCIM/IMG_1.JPG", std::string(300000, 'j')},
                                                         {"Library/Empty", ""}};
    for (unsigned jobs : {1u, 2u, 4u}) {
        std::stop_source stop;
        TFileExportOptions options;
        options.Jobs = jobs;
        options.Stop = stop.get_token();
        options.Progress = [&](std::size_t done, std::size_t, std::uint64_t) {
            if (done == 2) {
                stop.request_stop();
            }
        };
        const std::string dest = FOut.Path() + std::to_string(jobs) + "/";
        const TFileExportResult result = ExportAllFiles(*FSession, dest, options);
        EXPECT_TRUE(result.Stopped);
        EXPECT_TRUE(result.Failures.empty());
        if (jobs == 1) {
            EXPECT_EQ(result.Exported, 2u);
        }
        std::size_t files = 0;
        for (const std::string& name : test::NamesBelow(dest)) {
            if (std::filesystem::is_regular_file(dest + name)) {
                ++files;
                EXPECT_EQ(Read(dest + name), contents.at(name)) << name; // whole, or not there at all
            }
        }
        EXPECT_EQ(files, result.Exported);
    }
}

TEST_F(FileExport, ManyWorkersWriteWhatOneWorkerWrites) {
    TTempFolder root;
    TBackupPlan plan;
    plan.FolderName = "many";
    plan.Encrypted = true;
    plan.Password = "pw";
    for (int i = 0; i < 300; ++i) {
        plan.Files.emplace_back(
            i % 3 == 0 ? "MediaDomain" : "HomeDomain",
            "Media/" + std::to_string(i % 7) + "/f" + std::to_string(i % 50) + ".bin",
            std::string(static_cast<std::size_t>(i * 997 % 70000), static_cast<char>('a' + i % 26)));
    }
    plan.Files.emplace_back("HomeDomain", "../refused", "x");
    test::WriteBackup(root.Path(), plan);
    std::vector<std::pair<std::vector<std::string>, std::string>> runs;
    for (unsigned jobs : {1u, 4u}) {
        for (bool flat : {false, true}) {
            TIpodBackup session(root.Path());
            ASSERT_EQ(session.SelectBackup(0, "pw"), osOpened);
            const std::string dest = FOut.Path() + "j" + std::to_string(jobs) + (flat ? "flat/" : "nested/");
            MakeFolders(dest + "Media/3");
            ASSERT_TRUE(WriteWholeFile(dest + (flat ? "f7.bin" : "Media/3/f3.bin"), "already here"));
            TFileExportOptions options;
            options.Flat = flat;
            options.Jobs = jobs;
            const TFileExportResult result = ExportAllFiles(session, dest, options);
            std::string listing;
            for (const std::string& name : test::NamesBelow(dest)) {
                listing +=
                    name + "=" +
                    (std::filesystem::is_regular_file(dest + name) ? std::to_string(Read(dest + name).size())
                                                                   : "dir") +
                    "\n";
            }
            std::vector<std::string> outcome{listing, std::to_string(result.Exported),
                                             std::to_string(result.Bytes)};
            for (const TFileExportFailure& failure : result.Failures) {
                outcome.push_back(failure.Key + " " + failure.Target.substr(dest.size()) + " " +
                                  std::to_string(failure.Error));
            }
            std::string log = session.LogText();
            for (std::size_t at = log.find(dest); at != std::string::npos; at = log.find(dest)) {
                log.replace(at, dest.size(), "DEST/");
            }
            runs.emplace_back(outcome, log);
        }
    }
    EXPECT_EQ(runs[0], runs[2]);              // nested: one worker and four
    EXPECT_EQ(runs[1], runs[3]);              // flat
    EXPECT_EQ(runs[0].first.size(), 3u + 2u); // two failures: the file already there, the refused key
}

TEST_F(FileExport, FlatNamesSkipWhatExistsEvenFoldersAndDanglingLinks) {
    ASSERT_EQ(FSession->SelectBackup(0, ""), osOpened);
    const std::string dest = FOut.Path() + "flat/";
    MakeFolders(dest + "sms.db");
    std::filesystem::create_symlink("/nonexistent/target", dest + "sms (2).db");
    EXPECT_EQ(UniqueExportPath(dest, "sms.db"), dest + "sms (3).db");
    const TFileExportResult result = ExportAllFiles(*FSession, dest, true);
    EXPECT_EQ(result.Exported, 4u);
    EXPECT_EQ(Read(dest + "sms (3).db"), "messages");
    EXPECT_TRUE(test::NamesBelow(dest + "sms.db").empty());
    // Nested: a folder where the file would go keeps its place and the file fails.
    MakeFolders(FOut.Path() + "nested/Library/SMS/sms.db");
    const TFileExportResult nested = ExportAllFiles(*FSession, FOut.Path() + "nested", false);
    ASSERT_EQ(nested.Failures.size(), 1u);
    EXPECT_EQ(nested.Failures[0].Error, EEXIST);
    EXPECT_TRUE(FolderExists(FOut.Path() + "nested/Library/SMS/sms.db"));
}

TEST(FileExportNames, ThousandsOfEqualNamesAreNumberedInTableOrder) {
    TTempFolder root;
    TTempFolder out;
    TBackupPlan plan;
    plan.FolderName = "many";
    for (int i = 0; i < 4000; ++i) {
        plan.Files.emplace_back("CameraRollDomain",
                                "Media/DCIM/" + std::to_string(100 + i / 1000) + "APPLE/" +
                                    std::to_string(i) + "/IMG.JPG",
                                std::to_string(i));
    }
    test::WriteBackup(root.Path(), plan);
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    const TFileExportResult result = ExportAllFiles(session, out.Path(), true);
    EXPECT_EQ(result.Exported, 4000u);
    EXPECT_EQ(Read(out.Path() + "IMG.JPG"), "0");
    EXPECT_EQ(Read(out.Path() + "IMG (2).JPG"), "1");
    EXPECT_EQ(Read(out.Path() + "IMG (4000).JPG"), "3999");
}

TEST(FileExportNames, LongNamesAndPathsBeyondPathMax) {
    TTempFolder root;
    TTempFolder out;
    TBackupPlan plan;
    plan.FolderName = "long";
    plan.Encrypted = true;
    plan.Password = "pw";
    const std::string longName(250, 'n');
    std::string deepKey;
    for (int i = 0; i < 20; ++i) {
        deepKey += std::string(250, static_cast<char>('a' + i)) + "/";
    }
    deepKey += "deep.txt"; // over 5,000 bytes, every component within NAME_MAX
    plan.Files = {TTestFile("HomeDomain", "Documents/" + longName, "long name"),
                  TTestFile("HomeDomain", deepKey, "deep")};
    test::WriteBackup(root.Path(), plan);
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, "pw"), osOpened);
    const TFileExportResult result = ExportAllFiles(session, out.Path(), false);
    EXPECT_EQ(result.Exported, 2u);
    EXPECT_EQ(Read(out.Path() + "Documents/" + longName), "long name");
    // A single copy to a path longer than PATH_MAX says so.
    std::string tooLong = out.Path();
    while (tooLong.size() < PATH_MAX + 10) {
        tooLong += std::string(200, 'x') + "/";
    }
    EXPECT_FALSE(session.CopyBackupFile("Documents/" + longName, tooLong + "copy"));
    EXPECT_EQ(session.LastCopyError(), ENAMETOOLONG);
}

} // namespace
} // namespace kestrow
