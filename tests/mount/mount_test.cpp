#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "mount/mount_tree.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/crypto_writer.h"

extern char** environ;

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::TTestFile;

std::string Bytes(std::size_t size, std::uint32_t seed) {
    test::TTestRandom random(seed);
    return random.Text(size);
}

bool IsMounted(const std::string& folder) {
    struct stat inside {};
    struct stat parent {};
    return ::stat(folder.c_str(), &inside) == 0 && ::stat((folder + "/..").c_str(), &parent) == 0 &&
           inside.st_dev != parent.st_dev;
}

bool MountListed(const std::string& folder) {
    std::string mounts;
    ReadWholeFile("/proc/mounts", mounts);
    return mounts.find(" " + folder + " ") != std::string::npos;
}

// `kestrow-cli mount` as a user runs it, in the background.
class TMountProcess {
public:
    TMountProcess(const std::string& root, const std::vector<std::string>& args) {
        std::vector<std::string> all = {KESTROW_CLI, "--root", root, "mount"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        ::setenv("KESTROW_PASSWORD", "secret", 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        ::posix_spawn(&FPid, KESTROW_CLI, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
    }
    ~TMountProcess() {
        if (FPid > 0) {
            ::kill(FPid, SIGTERM);
            Wait();
        }
    }
    // The exit code, -1 when it did not exit normally.
    int Wait() {
        int status = 0;
        ::waitpid(FPid, &status, 0);
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    bool WaitForMount(const std::string& folder) {
        for (int i = 0; i < 500 && !IsMounted(folder); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return IsMounted(folder);
    }
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
};

int RunCli(const std::string& root, const std::string& args) {
    const std::string command = "KESTROW_PASSWORD=secret " + std::string(KESTROW_CLI) + " --root '" + root +
                                "' " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct TLayoutCase {
    test::TLayout Layout;
    bool Encrypted;
};

class MountedBackup : public ::testing::TestWithParam<TLayoutCase> {
protected:
    void SetUp() override {
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            GTEST_SKIP() << "/dev/fuse is absent or not usable here: the mount tests need FUSE";
        }
        TBackupPlan plan;
        plan.FolderName = "b";
        plan.Layout = GetParam().Layout;
        plan.Encrypted = GetParam().Encrypted;
        plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", Bytes(100003, 1), 0x8180),
                      TTestFile("CameraRollDomain", "Media/DCIM/IMG_1.JPG", Bytes(33, 2)),
                      TTestFile("HomeDomain", "Library/exact", Bytes(16, 3)),
                      TTestFile("HomeDomain", "Library/empty", ""),
                      TTestFile("AppDomain-com.example.app", "Documents/a.txt", "app"),
                      TTestFile("HomeDomain", "Library/gone", "removed")};
        plan.Files[0].ModifiedTime = 1262349296;
        if (plan.Layout != test::TLayout::Old) {
            plan.Files.emplace_back("HomeDomain", "Library/link", "", 0xA1ED);
            plan.Files.back().LinkTarget = "SMS/sms.db";
        }
        const std::string folder = test::WriteBackup(FRoot.Path(), plan);
        const std::string gone = test::OpenSslSha1Hex("HomeDomain-Library/gone");
        std::filesystem::remove(folder + (plan.Layout == test::TLayout::ManifestDb
                                              ? gone.substr(0, 2) + "/" + gone
                                          : plan.Layout == test::TLayout::Old ? gone + ".mddata"
                                                                              : gone));
        FMount = FWork.Path() + "mnt";
        std::filesystem::create_directory(FMount);
    }

    TTempFolder FRoot;
    TTempFolder FWork;
    std::string FMount;
};

TEST_P(MountedBackup, EveryByteAsExtractAllWritesIt) {
    EXPECT_EQ(RunCli(FRoot.Path(), "extract-all 0 '" + FWork.Path() + "out'"), 65); // the missing file
    EXPECT_EQ(RunCli(FRoot.Path(), "check 0"), 10);
    TMountProcess mount(FRoot.Path(), {"0", FMount});
    ASSERT_TRUE(mount.WaitForMount(FMount));
    std::size_t compared = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(FWork.Path() + "out")) {
        if (entry.is_regular_file()) {
            const std::string relative =
                std::filesystem::relative(entry.path(), FWork.Path() + "out").string();
            std::string expected;
            std::string mounted;
            ASSERT_TRUE(ReadWholeFile(entry.path().string(), expected));
            ASSERT_TRUE(ReadWholeFile(FMount + "/" + relative, mounted)) << relative;
            EXPECT_EQ(mounted, expected) << relative;
            EXPECT_EQ(std::filesystem::file_size(FMount + "/" + relative), expected.size()) << relative;
            ++compared;
        }
    }
    EXPECT_EQ(compared, 5u);

    // Reads at odd offsets and across block boundaries, each on its own.
    const std::string sms = Bytes(100003, 1);
    const TFileHandle file(::open((FMount + "/Library/SMS/sms.db").c_str(), O_RDONLY));
    for (const auto& [offset, length] : std::vector<std::pair<std::size_t, std::size_t>>{
             {99990, 100}, {1, 15}, {15, 2}, {16, 16}, {4095, 4097}, {65535, 131073}, {0, 1}}) {
        std::string part(length, '\0');
        const ssize_t got = ::pread(file.Fd(), part.data(), length, static_cast<off_t>(offset));
        ASSERT_GE(got, 0);
        part.resize(static_cast<std::size_t>(got));
        EXPECT_EQ(part, sms.substr(offset, length)) << offset;
    }

    struct stat st {};
    ASSERT_EQ(::stat((FMount + "/Library/SMS/sms.db").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode, S_IFREG | (GetParam().Layout == test::TLayout::Old ? 0644 : 0600)); // none recorded
    EXPECT_EQ(st.st_mtim.tv_sec, GetParam().Layout == test::TLayout::Old ? st.st_mtim.tv_sec : 1262349296);
    if (GetParam().Layout != test::TLayout::Old) {
        EXPECT_EQ(std::filesystem::read_symlink(FMount + "/Library/link"), "SMS/sms.db");
        EXPECT_EQ(std::filesystem::file_size(FMount + "/Library/link"), sms.size()); // followed
    }
    // A file the backup lacks is listed, but reading it fails; writing anything is refused.
    const TFileHandle gone(::open((FMount + "/Library/gone").c_str(), O_RDONLY));
    char byte = 0;
    EXPECT_EQ(::read(gone.Fd(), &byte, 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(::open((FMount + "/Library/new").c_str(), O_WRONLY | O_CREAT, 0644), -1);

    ::kill(mount.Pid(), SIGTERM);
    EXPECT_EQ(mount.Wait(), 143);
    EXPECT_FALSE(IsMounted(FMount));
    EXPECT_FALSE(MountListed(FMount));
}

std::string CaseName(const ::testing::TestParamInfo<TLayoutCase>& info) {
    static const char* const kNames[] = {"Mbdb", "Old", "ManifestDb"};
    return std::string(kNames[static_cast<int>(info.param.Layout)]) +
           (info.param.Encrypted ? "Encrypted" : "Plain");
}

INSTANTIATE_TEST_SUITE_P(Layouts, MountedBackup,
                         ::testing::Values(TLayoutCase{test::TLayout::Mbdb, false},
                                           TLayoutCase{test::TLayout::Mbdb, true},
                                           TLayoutCase{test::TLayout::Old, false},
                                           TLayoutCase{test::TLayout::ManifestDb, false},
                                           TLayoutCase{test::TLayout::ManifestDb, true}),
                         CaseName);

class MountByDomain : public MountedBackup {};

TEST_P(MountByDomain, DomainFoldersAndUnmountFromOutside) {
    ASSERT_TRUE(WriteWholeFile(FMount + "/x", "x"));
    EXPECT_EQ(RunCli(FRoot.Path(), "mount 0 '" + FMount + "'"), 65); // not an empty folder
    EXPECT_EQ(RunCli(FRoot.Path(), "mount 0 '" + FMount + "/x'"), 65);
    std::filesystem::remove(FMount + "/x");
    TMountProcess mount(FRoot.Path(), {"0", FMount, "--domains"});
    ASSERT_TRUE(mount.WaitForMount(FMount));
    std::string contents;
    ASSERT_TRUE(ReadWholeFile(FMount + "/AppDomain-com.example.app/Documents/a.txt", contents));
    EXPECT_EQ(contents, "app");
    ASSERT_TRUE(ReadWholeFile(FMount + "/CameraRollDomain/Media/DCIM/IMG_1.JPG", contents));
    EXPECT_EQ(contents, Bytes(33, 2));
    ASSERT_EQ(std::system(("fusermount3 -u '" + FMount + "'").c_str()), 0);
    EXPECT_EQ(mount.Wait(), 0);
    EXPECT_FALSE(MountListed(FMount));
}

INSTANTIATE_TEST_SUITE_P(Encrypted, MountByDomain,
                         ::testing::Values(TLayoutCase{test::TLayout::ManifestDb, true}));

TEST(MountTree, NamesTakenAndUnsafePathsAreSaidNotDropped) {
    TFileTable files;
    for (const char* key : {"a/b", "a", "a/b/c", "x//y", "../up", "ok/f"}) {
        files.AddRecord("HomeDomain", key, TBackupFile{"f", 1, false});
    }
    TMountTree tree;
    const auto skipped = tree.Build(files, false);
    ASSERT_EQ(skipped.size(), 4u);
    EXPECT_EQ(skipped[0].Key + ":" + skipped[0].Reason, "a:name taken");
    EXPECT_EQ(skipped[1].Key + ":" + skipped[1].Reason, "a/b/c:name taken");
    EXPECT_EQ(skipped[2].Key + ":" + skipped[2].Reason, "x//y:unsafe path");
    EXPECT_EQ(skipped[3].Key + ":" + skipped[3].Reason, "../up:unsafe path");
    EXPECT_NE(tree.Find("/a/b"), TMountTree::kNone);
    EXPECT_EQ(tree.Find("/a/b/c"), TMountTree::kNone);
    EXPECT_EQ(MountPathOf("example.app/Documents/a.txt", "AppDomain-com.example.app", true),
              "AppDomain-com.example.app/Documents/a.txt");
}

} // namespace
} // namespace kestrow
