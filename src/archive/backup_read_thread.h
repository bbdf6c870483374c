#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace kestrow {

class TIpodBackup;

// Opens a backup on a background thread so that the caller stays responsive while a large manifest
// is read and a keybag is unlocked. The events are called on the opening thread; a front end with a
// UI thread marshals them there itself. The destructor waits for the thread.
class TIpodBackReadThd {
public:
    using TDoneEvent = std::function<void(std::uint8_t result)>;
    using TToolEvent = std::function<void(bool ok, const std::string& errorText)>;
    // Brings a device's backup up to date; returns whether it succeeded and the failure text.
    using TBackupTool = std::function<bool(const std::string& uniqueId, std::string& errorText)>;

    static std::unique_ptr<TIpodBackReadThd> CreateForIndex(TIpodBackup* session, int idx,
                                                            std::string password, TDoneEvent onDone);
    static std::unique_ptr<TIpodBackReadThd> CreateForDevice(TIpodBackup* session, std::string uniqueId,
                                                             std::string password, TToolEvent onTool,
                                                             TDoneEvent onDone, bool refresh,
                                                             TBackupTool tool = {});
    TIpodBackReadThd(const TIpodBackReadThd&) = delete;
    TIpodBackReadThd& operator=(const TIpodBackReadThd&) = delete;
    ~TIpodBackReadThd();

    void Wait();
    std::uint8_t Result() const { return FResult; }

private:
    TIpodBackReadThd() = default;
    void Execute();

    TIpodBackup* FSession = nullptr;
    std::string FPassword;
    bool FRefresh = false;
    std::uint8_t FResult = 1;
    int FIndex = -1;
    bool FToolOk = false;
    std::string FToolError;
    std::string FUniqueId;
    TToolEvent FOnTool;
    TDoneEvent FOnDone;
    TBackupTool FTool;
    std::thread FThread;
};

} // namespace kestrow
