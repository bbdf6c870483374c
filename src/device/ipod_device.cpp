#include "device/ipod_device.h"

#include <cstdlib>
#include <dirent.h>

#include "platform/paths.h"

namespace kestrow {

TIpodDevice::TIpodDevice(std::function<void()> onChange, std::string libraryName)
    : FOnChange(std::move(onChange)), FHelper(std::move(libraryName)) {}

bool TIpodDevice::Start(const std::vector<std::string>& mountBases) {
    FPlayers = FindDiskModePlayers(mountBases);
    const auto raise = [this] {
        if (FOnChange) {
            FOnChange();
        }
    };
    const bool subscribed = FHelper.Subscribe(raise);
    if (!FPlayers.empty()) {
        FHelper.DiskModePlayerFound();
    }
    return subscribed;
}

std::vector<std::string> TIpodDevice::DefaultMountBases() {
    const char* user = std::getenv("USER");
    const std::string name = (user != nullptr && *user != '\0') ? user : "root";
    return {"/media/" + name + "/", "/run/media/" + name + "/"};
}

std::vector<std::string> TIpodDevice::FindDiskModePlayers(const std::vector<std::string>& mountBases) {
    std::vector<std::string> players;
    for (const std::string& base : mountBases) {
        DIR* dir = ::opendir(base.c_str());
        if (dir == nullptr) {
            continue;
        }
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            const std::string volume = WithTrailingSlash(base) + name + "/";
            if (name != "." && name != ".." && FolderExists(volume + "iPod_Control/iTunes")) {
                players.push_back(volume);
            }
        }
        ::closedir(dir);
    }
    return players;
}

} // namespace kestrow
