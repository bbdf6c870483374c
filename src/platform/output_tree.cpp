#include "platform/output_tree.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/paths.h"

namespace kestrow {

namespace {

TOutputTree::TFolder OpenChild(int at, const std::string& name, int& error) {
    // mkdirat never follows a link of that name; EEXIST leaves the open below to judge what is there.
    if (::mkdirat(at, name.c_str(), 0777) != 0 && errno != EEXIST) {
        error = errno;
        return nullptr;
    }
    auto folder = std::make_shared<TFileHandle>(
        ::openat(at, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder->IsOpen()) {
        error = errno;
        struct stat info {};
        if (error == ENOTDIR && ::fstatat(at, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(info.st_mode)) {
            error = ELOOP; // a link stands where a folder is wanted, and links are never followed
        }
        return nullptr;
    }
    return folder;
}

} // namespace

int TOutputTree::Open(const std::string& folder) {
    if (folder.empty()) {
        return ENOENT;
    }
    if (const int err = MakeFolders(folder); err != 0) {
        return err;
    }
    auto root = std::make_shared<TFileHandle>(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root->IsOpen()) {
        return errno;
    }
    std::lock_guard lock(FMutex);
    FRoot = std::move(root);
    FCache.clear();
    return 0;
}

TOutputTree::TFolder TOutputTree::Folder(std::string_view relative, int& error) {
    error = 0;
    std::lock_guard lock(FMutex);
    if (!FRoot) {
        error = EBADF;
        return nullptr;
    }
    if (relative.empty()) {
        return FRoot;
    }
    if (const auto found = FCache.find(std::string(relative)); found != FCache.end()) {
        return found->second;
    }
    return Walk(relative, error);
}

TOutputTree::TFolder TOutputTree::Walk(std::string_view relative, int& error) {
    // Start from the deepest folder already open.
    std::size_t known = 0;
    TFolder at = FRoot;
    for (std::size_t slash = relative.rfind('/'); slash != std::string_view::npos && slash > 0;
         slash = relative.rfind('/', slash - 1)) {
        if (const auto found = FCache.find(std::string(relative.substr(0, slash))); found != FCache.end()) {
            known = slash + 1;
            at = found->second;
            break;
        }
    }
    while (known < relative.size()) {
        const std::size_t end = std::min(relative.find('/', known), relative.size());
        const std::string name(relative.substr(known, end - known));
        if (name.empty() || name == "." || name == "..") {
            error = EINVAL;
            return nullptr;
        }
        at = OpenChild(at->Fd(), name, error);
        if (!at) {
            return nullptr;
        }
        Remember(std::string(relative.substr(0, end)), at);
        known = end + 1;
    }
    return at;
}

void TOutputTree::Remember(const std::string& relative, const TFolder& folder) {
    if (FCache.size() >= kMaxCached) {
        FCache.clear(); // handles in use stay open through their shared owners
    }
    FCache.emplace(relative, folder);
}

} // namespace kestrow
