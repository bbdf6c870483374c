#include "device/backup_tool.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrow {

namespace {

constexpr const char* kToolName = "idevicebackup2";

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return {};
    }
    const std::string folders = path;
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) {
            end = folders.size();
        }
        // An empty entry stands for the current folder, which a program started from anywhere
        // should not search for a tool it runs on the user's behalf.
        const std::string folder = folders.substr(start, end - start);
        if (!folder.empty()) {
            const std::string candidate = folder + (folder.back() == '/' ? "" : "/") + name;
            if (IsExecutableFile(candidate)) {
                return candidate;
            }
        }
        start = end + 1;
    }
    return {};
}

int WaitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

} // namespace

std::string BackupToolPath() {
    if (const char* chosen = std::getenv("KESTROW_BACKUP_TOOL"); chosen != nullptr && *chosen != '\0') {
        return chosen;
    }
    return FindOnPath(kToolName);
}

std::vector<std::string> BackupToolArguments(const std::string& toolPath, const std::string& uniqueId,
                                             const std::string& root) {
    return {toolPath, "--udid", uniqueId, "backup", root};
}

bool RunBackupTool(const std::string& toolPath, const std::string& uniqueId, const std::string& root,
                   std::string& errorText) {
    errorText.clear();
    if (!IsExecutableFile(toolPath)) {
        errorText = "[Fb] Mobilebackup not found";
        return false;
    }
    std::vector<std::string> arguments = BackupToolArguments(toolPath, uniqueId, root);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The tool may ask questions on its terminal; nobody would see them, so it reads end of file.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, toolPath.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        errorText = "[Fb] Cannot create process";
        return false;
    }
    WaitForChild(pid);
    return true;
}

} // namespace kestrow
