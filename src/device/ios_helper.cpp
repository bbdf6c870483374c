#include "device/ios_helper.h"

#include <cstdlib>
#include <dlfcn.h>

namespace kestrow {

// The few entry points of libimobiledevice the device link uses, with their C signatures.
struct TIosHelper::TApi {
    struct TEvent {
        int Event; // 1 added, 2 removed, 3 paired
        const char* Udid;
        int ConnType;
    };
    using TEventCallback = void (*)(const TEvent* event, void* userData);
    int (*EventSubscribe)(TEventCallback callback, void* userData);
    int (*EventUnsubscribe)();
    int (*DeviceNew)(void** device, const char* udid);
    int (*DeviceFree)(void* device);
    int (*GetUdid)(void* device, char** udid);
    int (*LockdownNew)(void* device, void** client, const char* label);
    int (*LockdownDeviceName)(void* client, char** name);
    int (*LockdownFree)(void* client);
};

namespace {

template <typename T> bool Bind(void* handle, const char* name, T& slot) {
    slot = reinterpret_cast<T>(::dlsym(handle, name));
    return slot != nullptr;
}

void OnDeviceEvent(const TIosHelper::TApi::TEvent* event, void* userData) {
    auto* helper = static_cast<TIosHelper*>(userData);
    const std::string udid = event->Udid != nullptr ? event->Udid : "";
    if (event->Event == 1 || event->Event == 3) {
        helper->DeviceAdded(udid);
    } else if (event->Event == 2) {
        helper->DeviceRemoved(udid);
    }
}

std::string TakeCString(char* text) {
    std::string result = text != nullptr ? text : "";
    std::free(text);
    return result;
}

} // namespace

TIosHelper::TIosHelper(std::string libraryName) : FLibraryName(std::move(libraryName)) {}

TIosHelper::~TIosHelper() {
    Unsubscribe();
    delete FApi;
    if (FHandle != nullptr) {
        ::dlclose(FHandle);
    }
}

bool TIosHelper::Load() {
    if (FApi != nullptr) {
        return true;
    }
    FHandle = ::dlopen(FLibraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (FHandle == nullptr) {
        SetError(kNotLoadedText);
        return false;
    }
    auto* api = new TApi{};
    const bool all = Bind(FHandle, "idevice_event_subscribe", api->EventSubscribe) &&
                     Bind(FHandle, "idevice_event_unsubscribe", api->EventUnsubscribe) &&
                     Bind(FHandle, "idevice_new", api->DeviceNew) &&
                     Bind(FHandle, "idevice_free", api->DeviceFree) &&
                     Bind(FHandle, "idevice_get_udid", api->GetUdid) &&
                     Bind(FHandle, "lockdownd_client_new_with_handshake", api->LockdownNew) &&
                     Bind(FHandle, "lockdownd_get_device_name", api->LockdownDeviceName) &&
                     Bind(FHandle, "lockdownd_client_free", api->LockdownFree);
    if (!all) {
        delete api;
        ::dlclose(FHandle);
        FHandle = nullptr;
        SetError(kNotLoadedText);
        return false;
    }
    FApi = api;
    return true;
}

bool TIosHelper::Subscribe(std::function<void()> onChange) {
    FOnChange = std::move(onChange); // also for a player in disk mode, found without the library
    if (!Load()) {
        return false;
    }
    if (!FSubscribed && FApi->EventSubscribe(&OnDeviceEvent, this) != 0) {
        SetError(kNoAccessText);
        return false;
    }
    FSubscribed = true;
    return true;
}

void TIosHelper::Unsubscribe() {
    if (FSubscribed && FApi != nullptr) {
        FApi->EventUnsubscribe();
    }
    FSubscribed = false;
}

void TIosHelper::DeviceAdded(const std::string& udid) {
    void* device = nullptr;
    std::string name;
    std::string id = udid;
    bool ready = false;
    if (FApi->DeviceNew(&device, udid.empty() ? nullptr : udid.c_str()) == 0 && device != nullptr) {
        char* rawUdid = nullptr;
        if (FApi->GetUdid(device, &rawUdid) == 0) {
            id = TakeCString(rawUdid);
        }
        void* client = nullptr;
        if (FApi->LockdownNew(device, &client, "kestrow") == 0 && client != nullptr) {
            char* rawName = nullptr;
            if (FApi->LockdownDeviceName(client, &rawName) == 0) {
                name = TakeCString(rawName);
            }
            ready = true;
            FApi->LockdownFree(client);
        }
        FApi->DeviceFree(device);
    }
    bool changed = false;
    {
        std::lock_guard lock(FMutex);
        changed = !FConnected || FReady != ready || FDiskMode;
        FConnected = true;
        FDiskMode = false;
        FReady = ready;
        FName = name;
        FUniqueId = id;
        if (!ready) {
            FLastError = kNoAccessText;
        }
    }
    if (changed && FOnChange) {
        FOnChange();
    }
}

void TIosHelper::DeviceRemoved(const std::string& udid) {
    bool changed = false;
    {
        std::lock_guard lock(FMutex);
        if (FConnected && (udid.empty() || udid == FUniqueId)) {
            changed = true;
            FConnected = false;
            FReady = false;
            FDiskMode = false;
            FName.clear();
            FUniqueId.clear();
            FLastError = kLostText;
        }
    }
    if (changed && FOnChange) {
        FOnChange();
    }
}

bool TIosHelper::Connected() const {
    std::lock_guard lock(FMutex);
    return FConnected;
}

bool TIosHelper::Ready() const {
    std::lock_guard lock(FMutex);
    return FReady;
}

std::string TIosHelper::Name() const {
    std::lock_guard lock(FMutex);
    if (!FConnected) {
        return {};
    }
    if (FDiskMode) {
        return "iPod";
    }
    return FName.empty() ? "iDevice" : FName;
}

void TIosHelper::DiskModePlayerFound() {
    bool changed = false;
    {
        std::lock_guard lock(FMutex);
        changed = !FConnected;
        if (changed) {
            FConnected = true;
            FDiskMode = true;
        }
    }
    if (changed && FOnChange) {
        FOnChange();
    }
}

std::string TIosHelper::UniqueId() const {
    std::lock_guard lock(FMutex);
    return FUniqueId;
}

std::string TIosHelper::LastError() const {
    std::lock_guard lock(FMutex);
    return FLastError;
}

void TIosHelper::SetError(const std::string& text) {
    std::lock_guard lock(FMutex);
    FLastError = text;
}

} // namespace kestrow
