#include <cstdlib>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "device/backup_tool.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "support/file_tree.h"

namespace kestrow {
namespace {

// Sets an environment variable for one test and puts the old value back afterwards.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::string& value) : FName(name) {
        if (const char* old = std::getenv(name)) {
            FOld = old;
            FHadOld = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~TScopedEnv() {
        if (FHadOld) {
            ::setenv(FName, FOld.c_str(), 1);
        } else {
            ::unsetenv(FName);
        }
    }

private:
    const char* FName;
    std::string FOld;
    bool FHadOld = false;
};

std::string WriteTool(const std::string& folder, const std::string& name, const std::string& script,
                      mode_t mode = 0755) {
    const std::string path = folder + "/" + name;
    EXPECT_TRUE(WriteWholeFile(path, script));
    ::chmod(path.c_str(), mode);
    return path;
}

TEST(BackupTool, RunsTheToolWithTheDeviceAndRootAndIgnoresItsExitCode) {
    const TTempFolder work;
    const std::string log = work.Path() + "/args.txt";
    // The tool records its arguments and whether its standard input is readable, then fails.
    const std::string tool =
        WriteTool(work.Path(), "idevicebackup2",
                  "#!/bin/sh\nprintf '%s|' \"$@\" > '" + log + "'\nif read line; then echo input >> '" + log +
                      "'; else echo eof >> '" + log + "'; fi\nexit 3\n");
    std::string error = "stale";
    ASSERT_TRUE(RunBackupTool(tool, "0123abcd", "/backups/root dir", error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(test::FileText(log), "--udid|0123abcd|backup|/backups/root dir|eof\n");
}

TEST(BackupTool, MissingOrUnstartableToolsGiveTheLogTexts) {
    const TTempFolder work;
    std::string error;
    EXPECT_FALSE(RunBackupTool(work.Path() + "/absent", "0123abcd", work.Path(), error));
    EXPECT_EQ(error, "[Fb] Mobilebackup not found");
    EXPECT_FALSE(RunBackupTool("", "0123abcd", work.Path(), error));
    EXPECT_EQ(error, "[Fb] Mobilebackup not found");
    // A file that is not executable is no tool; a folder neither.
    const std::string plain = WriteTool(work.Path(), "plain", "#!/bin/sh\nexit 0\n", 0644);
    EXPECT_FALSE(RunBackupTool(plain, "0123abcd", work.Path(), error));
    EXPECT_EQ(error, "[Fb] Mobilebackup not found");
    EXPECT_FALSE(RunBackupTool(work.Path(), "0123abcd", work.Path(), error));
    EXPECT_EQ(error, "[Fb] Mobilebackup not found");
    // Executable but not a program the system can start.
    const std::string garbage = WriteTool(work.Path(), "garbage",
                                          std::string("\x7f"
                                                      "ELF\x01\x02garbage",
                                                      12));
    EXPECT_FALSE(RunBackupTool(garbage, "0123abcd", work.Path(), error));
    EXPECT_EQ(error, "[Fb] Cannot create process");
}

TEST(BackupTool, TheChosenToolWinsOverTheSearchPath) {
    const TTempFolder work;
    const std::string bin = work.Path() + "/bin";
    ASSERT_EQ(::mkdir(bin.c_str(), 0755), 0);
    WriteTool(work.Path(), "idevicebackup2", "#!/bin/sh\n", 0644); // not executable: skipped
    const std::string onPath = WriteTool(bin, "idevicebackup2", "#!/bin/sh\n");
    const TScopedEnv path("PATH", ":" + work.Path() + ":" + bin + "/");
    {
        const TScopedEnv unset("KESTROW_BACKUP_TOOL", "");
        EXPECT_EQ(BackupToolPath(), onPath);
    }
    const TScopedEnv chosen("KESTROW_BACKUP_TOOL", "/opt/tool");
    EXPECT_EQ(BackupToolPath(), "/opt/tool");
}

TEST(BackupTool, NoToolAnywhereGivesAnEmptyPath) {
    const TTempFolder work;
    const TScopedEnv path("PATH", work.Path());
    const TScopedEnv unset("KESTROW_BACKUP_TOOL", "");
    EXPECT_EQ(BackupToolPath(), "");
}

} // namespace
} // namespace kestrow
