#include "platform/temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

namespace kestrow {

namespace {

struct TLiveFolders {
    std::mutex Mutex;
    std::set<std::string> Paths;
};

TLiveFolders& LiveFolders() {
    static TLiveFolders folders;
    return folders;
}

} // namespace

TTempFolder::TTempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp");
    if (pattern.back() != '/') {
        pattern.push_back('/');
    }
    pattern += "kestrow-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) {
        FPath = pattern + "/";
        std::lock_guard lock(LiveFolders().Mutex);
        LiveFolders().Paths.insert(FPath);
    } else {
        FError = errno;
    }
}

TTempFolder::~TTempFolder() {
    if (IsValid()) {
        RemoveTree(FPath);
        std::lock_guard lock(LiveFolders().Mutex);
        LiveFolders().Paths.erase(FPath);
    }
}

void RemoveLiveTempFolders() {
    std::lock_guard lock(LiveFolders().Mutex);
    for (const std::string& path : LiveFolders().Paths) {
        RemoveTree(path);
    }
}

bool RemoveTree(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    return !ec;
}

} // namespace kestrow
