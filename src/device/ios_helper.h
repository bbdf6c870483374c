#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace kestrow {

// Binds the mobile-device library (libimobiledevice) at run time and talks to a connected device.
// Without the library everything else works and the state reads "not loaded".
class TIosHelper {
public:
    static constexpr const char* kDefaultLibrary = "libimobiledevice-1.0.so.6";
    static constexpr const char* kNotLoadedText = "Cannot load the iTunes Dll, requires iTunes 9 or later.";
    static constexpr const char* kNoAccessText = "Cannot access iPhone/iTouch/iPad.";
    static constexpr const char* kLostText = "[!]: Lost iPod, please connect iPod to try again";

    explicit TIosHelper(std::string libraryName = kDefaultLibrary);
    TIosHelper(const TIosHelper&) = delete;
    TIosHelper& operator=(const TIosHelper&) = delete;
    ~TIosHelper();

    // Binds every entry point; false (and "not loaded") when the library or one of them is missing.
    bool Load();
    // Subscribes to device events; `onChange` is called (on the library's thread) when the state flips.
    bool Subscribe(std::function<void()> onChange);
    void Unsubscribe();

    bool Loaded() const { return FApi != nullptr; }
    bool Connected() const;
    bool Ready() const;
    // The connected device's name: the value it gave, "iDevice" when it gave none, "iPod" for a
    // player in disk mode; empty when nothing is connected.
    std::string Name() const;
    std::string UniqueId() const;
    std::string LastError() const;

    // Called by the event callback.
    void DeviceAdded(const std::string& udid);
    void DeviceRemoved(const std::string& udid);
    // A player in disk mode was found on a mounted volume: a connected device named "iPod".
    void DiskModePlayerFound();

    struct TApi;

private:
    void SetError(const std::string& text);
    std::string FLibraryName;
    void* FHandle = nullptr;
    TApi* FApi = nullptr;
    bool FSubscribed = false;
    std::function<void()> FOnChange;
    mutable std::mutex FMutex;
    bool FConnected = false;
    bool FReady = false;
    bool FDiskMode = false;
    std::string FName;
    std::string FUniqueId;
    std::string FLastError;
};

} // namespace kestrow
