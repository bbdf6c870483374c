#include "platform/paths.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

#include "platform/text.h"

namespace kestrow {

std::string WithTrailingSlash(std::string_view path) {
    std::string result(path);
    if (result.empty() || result.back() != '/') {
        result.push_back('/');
    }
    return result;
}

std::string WithoutTrailingSlash(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

std::string LastPathComponent(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ParentFolder(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string ExtensionOf(std::string_view path) {
    const std::string name = LastPathComponent(path);
    const auto dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0) ? std::string() : name.substr(dot + 1);
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::int64_t FileSizeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(info.st_size);
}

std::int64_t LastWriteTimeOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || info.st_size == 0) {
        return 0;
    }
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

std::string FindNameNoCase(const std::string& folder, const std::string& name) {
    std::string exact = folder + name;
    if (PathExists(exact)) {
        return exact;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return exact;
    }
    std::string found = exact;
    while (const dirent* entry = ::readdir(dir)) {
        if (SameTextAscii(entry->d_name, name)) {
            found = folder + entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

int MakeFolders(const std::string& path) {
    if (path.empty() || FolderExists(path)) {
        return 0;
    }
    const std::string trimmed = WithoutTrailingSlash(path);
    const std::string parent = ParentFolder(trimmed);
    if (!parent.empty() && parent != trimmed) {
        if (const int err = MakeFolders(parent); err != 0) {
            return err;
        }
    }
    if (::mkdir(trimmed.c_str(), 0755) != 0 && errno != EEXIST) {
        return errno;
    }
    return FolderExists(trimmed) ? 0 : ENOTDIR;
}

bool IsSafeRelativePath(std::string_view path) {
    if (path.empty() || path.front() == '/' || path.find('\\') != std::string_view::npos ||
        path.find('\0') != std::string_view::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find('/', start), path.size());
        const std::string_view segment = path.substr(start, end - start);
        if (segment == "." || segment == "..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace kestrow
