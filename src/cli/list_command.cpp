#include <chrono>
#include <iostream>
#include <thread>

#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "cli/display_text.h"
#include "device/ipod_device.h"
#include "platform/date_time.h"
#include "platform/paths.h"

namespace kestrow {

int RunList(const TCliOptions& options, bool json) {
    const std::string root = EffectiveRoot(options);
    if (!FolderExists(root)) {
        std::cerr << "No backup folder at " << EscapeText(root) << " (give another with --root).\n";
    }
    int exitCode = 0;
    const auto session = MakeSession(options, exitCode);
    if (!session) {
        return exitCode;
    }
    const TIphoneBackups& backups = session->Backups();
    if (json) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (std::size_t i = 0; i < backups.size(); ++i) {
            const TIphoneBackup& b = backups[i];
            list.push_back(
                {{"index", i},
                 {"path", JsonText(b.Path)},
                 {"deviceName", JsonText(b.DeviceName)},
                 {"date", b.LastBackupDate == 0 ? nlohmann::ordered_json(nullptr)
                                                : nlohmann::ordered_json(IsoDateTimeText(
                                                      b.LastBackupDate, LocalOffsetAt(b.LastBackupDate)))},
                 {"uniqueId", JsonText(b.UniqueId)},
                 {"encrypted", b.IsEncrypted}});
        }
        std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::strict) << '\n';
        return 0;
    }
    for (std::size_t i = 0; i < backups.size(); ++i) {
        const TIphoneBackup& b = backups[i];
        std::cout << i << '\t' << EscapeText(b.DeviceName) << '\t' << DateTimeText(b.LastBackupDate) << '\t'
                  << EscapeText(b.UniqueId) << '\t' << (b.IsEncrypted ? "encrypted" : "plain") << '\n';
    }
    return 0;
}

int RunDevice() {
    TIpodDevice device(nullptr);
    const bool started = device.Start();
    if (started) {
        // Devices already attached are announced by the library shortly after subscribing.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    const TIosHelper& helper = device.Helper();
    std::cout << "loaded: " << (helper.Loaded() ? "yes" : "no") << '\n'
              << "connected: " << (helper.Connected() ? "yes" : "no") << '\n'
              << "ready: " << (helper.Ready() ? "yes" : "no") << '\n'
              << "name: " << helper.Name() << '\n'
              << "identifier: " << helper.UniqueId() << '\n';
    for (const std::string& player : device.DiskModePlayers()) {
        std::cout << "disk-mode player: " << player << '\n';
    }
    if (!started) {
        std::cerr << helper.LastError() << '\n';
    }
    return 0;
}

} // namespace kestrow
