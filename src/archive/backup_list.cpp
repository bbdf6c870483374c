#include "archive/backup_list.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <memory>

#include "platform/paths.h"
#include "platform/text.h"

namespace kestrow {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

struct TDirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

std::string BackupRoot() {
    const std::string explicitRoot = EnvOr("KESTROW_BACKUP_ROOT", "");
    if (!explicitRoot.empty()) {
        return WithTrailingSlash(explicitRoot);
    }
    const std::string home = EnvOr("HOME", "");
    const std::string dataHome =
        EnvOr("XDG_DATA_HOME", home.empty() ? std::string() : home + "/.local/share");
    if (dataHome.empty()) {
        return {};
    }
    return WithTrailingSlash(dataHome) + "Apple Computer/MobileSync/Backup/";
}

void ListBackupFolders(const std::string& root, std::vector<std::string>& list) {
    list.clear();
    if (root.empty()) {
        return;
    }
    const std::string base = WithTrailingSlash(root);
    std::unique_ptr<DIR, TDirClose> dir(::opendir(base.c_str()));
    if (!dir) {
        return;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && FolderExists(base + name)) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        list.push_back(base + name);
    }
}

double FindNewestBackup(const TIphoneBackups& backups, const std::string& uniqueId, int& index) {
    double best = 0;
    index = -1;
    for (std::size_t i = 0; i < backups.size(); ++i) {
        if (SameTextAscii(backups[i].UniqueId, uniqueId) && backups[i].LastBackupDate > best) {
            best = backups[i].LastBackupDate;
            index = static_cast<int>(i);
        }
    }
    return best;
}

std::string UniqueIdFromFolder(const std::string& path) {
    const std::string name = LastPathComponent(WithoutTrailingSlash(path));
    return name.substr(0, name.find('-'));
}

} // namespace kestrow
