#pragma once

#include <functional>
#include <string>
#include <vector>

#include "device/ios_helper.h"

namespace kestrow {

// The device watcher: raises `onChange` whenever the connected/ready state flips. Delivery to a UI
// thread is the front end's business.
class TIpodDevice {
public:
    explicit TIpodDevice(std::function<void()> onChange,
                         std::string libraryName = TIosHelper::kDefaultLibrary);

    // Scans mounted volumes for a player in disk mode (found: a connected device named "iPod"),
    // then binds the library and subscribes. False when the library cannot be used.
    bool Start(const std::vector<std::string>& mountBases = DefaultMountBases());
    const TIosHelper& Helper() const { return FHelper; }
    // Mounted player volumes (those holding iPod_Control/iTunes/) under the given bases.
    static std::vector<std::string> FindDiskModePlayers(const std::vector<std::string>& mountBases);
    // /media/$USER and /run/media/$USER.
    static std::vector<std::string> DefaultMountBases();
    const std::vector<std::string>& DiskModePlayers() const { return FPlayers; }

private:
    std::function<void()> FOnChange;
    TIosHelper FHelper;
    std::vector<std::string> FPlayers;
};

} // namespace kestrow
