// Backups assembled from files written by a real device: every category is found, and every file
// comes out of a plain and an encrypted backup of each layout byte for byte.
#include <filesystem>

#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"
#include "platform/text.h"
#include "readers/sqlite_database.h"
#include "support/backup_writer.h"

namespace kestrow {
namespace {

constexpr const char* kAppFolderPrefix = "App - ";

// The extract is laid out as Domain/relative/path; application domains as "App - <identifier>".
std::vector<test::TTestFile> RealFiles(const std::string& root) {
    std::vector<test::TTestFile> files;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        const std::string relative = std::filesystem::relative(path, root).string();
        const auto slash = relative.find('/');
        std::string domain = relative.substr(0, slash);
        if (StartsWith(domain, kAppFolderPrefix)) {
            domain = "AppDomain-" + domain.substr(std::string_view(kAppFolderPrefix).size());
        }
        std::string contents;
        ReadWholeFile(path.string(), contents);
        files.emplace_back(domain, relative.substr(slash + 1), contents);
    }
    return files;
}

struct TLayoutCase {
    test::TLayout Layout;
    bool Encrypted;
};

class RealDevice : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(RealDevice, EveryCategoryAndEveryByte) {
    const std::string source = std::string(KESTROW_REALDATA) + "/ios7-testphone";
    if (!FolderExists(source)) {
        GTEST_SKIP() << "shared real data not present";
    }
    const auto files = RealFiles(source);
    ASSERT_EQ(files.size(), 10u);
    TTempFolder root;
    test::TBackupPlan plan;
    plan.FolderName = "real";
    plan.Layout = GetParam().Layout;
    plan.Encrypted = GetParam().Encrypted;
    plan.Files = files;
    test::WriteBackup(root.Path(), plan);

    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, plan.Password), osOpened);
    for (int category = catContacts; category <= catFiles; ++category) {
        EXPECT_TRUE(session.HasCategory(category)) << CategoryName(category);
    }
    EXPECT_TRUE(session.Files().Contains("apple.mobilesafari/Library/Safari/History.plist"));
    for (const auto& file : files) {
        const std::string key = TableKeyOf(file.Domain, file.Path);
        std::string contents;
        ASSERT_TRUE(session.LoadBackupFile(key, contents)) << key;
        EXPECT_EQ(contents, file.Content) << key;
    }
    // The messages database comes out as a working copy SQLite reads.
    const std::string working = session.ExtractFile("Library/SMS/sms.db", ".sms");
    ASSERT_FALSE(working.empty());
    const auto db = OpenBackupDatabase(working, session.TempFolder());
    EXPECT_EQ(db->GetTable("SELECT count(*) FROM message")->FieldAsInteger(0), 2);
}

std::string CaseName(const ::testing::TestParamInfo<TLayoutCase>& info) {
    static const char* const kNames[] = {"Mbdb", "Old", "ManifestDb", "None"};
    return std::string(kNames[static_cast<int>(info.param.Layout)]) +
           (info.param.Encrypted ? "Encrypted" : "Plain");
}

INSTANTIATE_TEST_SUITE_P(Layouts, RealDevice,
                         ::testing::Values(TLayoutCase{test::TLayout::Mbdb, false},
                                           TLayoutCase{test::TLayout::Mbdb, true},
                                           TLayoutCase{test::TLayout::Old, false},
                                           TLayoutCase{test::TLayout::ManifestDb, false},
                                           TLayoutCase{test::TLayout::ManifestDb, true}),
                         CaseName);

} // namespace
} // namespace kestrow
