#include <dlfcn.h>

#include <gtest/gtest.h>

#include "device/ipod_device.h"
#include "platform/paths.h"
#include "platform/temp_folder.h"

namespace kestrow {
namespace {

TEST(DeviceLink, MissingLibraryOrEntryPointReadsNotLoaded) {
    for (const char* library : {"libdoes-not-exist.so.6", FAKE_PARTIAL_LIBRARY}) {
        TIosHelper helper(library);
        EXPECT_FALSE(helper.Load()) << library;
        EXPECT_FALSE(helper.Loaded());
        EXPECT_FALSE(helper.Connected());
        EXPECT_FALSE(helper.Ready());
        EXPECT_EQ(helper.Name(), ""); // nothing connected
        EXPECT_EQ(helper.LastError(), "Cannot load the iTunes Dll, requires iTunes 9 or later.");
        EXPECT_FALSE(helper.Subscribe(nullptr));
    }
}

TEST(DeviceLink, EventsFlipTheStateAndRaiseTheChange) {
    void* fake = ::dlopen(FAKE_LIBRARY, RTLD_NOW);
    ASSERT_NE(fake, nullptr);
    auto fire = reinterpret_cast<void (*)(int, const char*)>(::dlsym(fake, "fake_fire"));
    auto setName = reinterpret_cast<void (*)(const char*)>(::dlsym(fake, "fake_set_name"));
    int changes = 0;
    TIpodDevice device([&] { ++changes; }, FAKE_LIBRARY);
    ASSERT_TRUE(device.Start());
    const TIosHelper& helper = device.Helper();
    EXPECT_TRUE(helper.Loaded());
    EXPECT_FALSE(helper.Connected());

    fire(1, "00008030-001A");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(helper.Connected());
    EXPECT_TRUE(helper.Ready());
    EXPECT_EQ(helper.Name(), "Anna's iPhone");
    EXPECT_EQ(helper.UniqueId(), "00008030-001A");
    fire(3, "00008030-001A"); // paired: same state, no change raised
    EXPECT_EQ(changes, 1);

    fire(2, "00008030-001A");
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(helper.Connected());
    EXPECT_EQ(helper.LastError(), "[!]: Lost iPod, please connect iPod to try again");

    setName("");
    fire(1, "00008030-001A");
    EXPECT_EQ(helper.Name(), "iDevice");
    ::dlclose(fake);
}

TEST(DeviceLink, DiskModePlayersAreFoundOnMountedVolumes) {
    TTempFolder media;
    ASSERT_EQ(MakeFolders(media.Path() + "IPOD/iPod_Control/iTunes"), 0);
    ASSERT_EQ(MakeFolders(media.Path() + "USBSTICK/Documents"), 0);
    const auto players = TIpodDevice::FindDiskModePlayers({media.Path(), "/nonexistent/"});
    EXPECT_EQ(players, std::vector<std::string>{media.Path() + "IPOD/"});
    // Found at start-up, the player is a connected device named "iPod", library or not.
    for (const char* library : {"libdoes-not-exist.so.6", FAKE_LIBRARY}) {
        int changes = 0;
        TIpodDevice device([&] { ++changes; }, library);
        device.Start({media.Path()});
        EXPECT_EQ(changes, 1) << library;
        EXPECT_TRUE(device.Helper().Connected());
        EXPECT_FALSE(device.Helper().Ready());
        EXPECT_EQ(device.Helper().Name(), "iPod");
        EXPECT_EQ(device.DiskModePlayers().size(), 1u);
    }
    TIpodDevice none(nullptr, FAKE_LIBRARY);
    none.Start({"/nonexistent/"});
    EXPECT_FALSE(none.Helper().Connected());
    EXPECT_EQ(none.Helper().Name(), "");
}

} // namespace
} // namespace kestrow
