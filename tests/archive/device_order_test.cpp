// Manifest.plist as devices write it: a binary property list whose keys are in the device's own
// order, with Lockdown before IsEncrypted, BackupKeyBag and Date. Hostile binary lists too.
#include <gtest/gtest.h>

#include "archive/ipod_backup.h"
#include "archive/manifest_db.h"
#include "archive/plist.h"
#include "crypto/key_bag.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "readers/binary_plist.h"
#include "support/backup_writer.h"
#include "support/fixed_zone.h"
#include "support/plist_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow {
namespace {

using test::TBackupPlan;
using test::TTestFile;

std::vector<std::string> TopKeysInStoredOrder(const std::string& binary) {
    plist_t root = nullptr;
    plist_from_bin(binary.data(), static_cast<std::uint32_t>(binary.size()), &root);
    test::TPlistPtr owner(root);
    std::vector<std::string> keys;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(root, &iter);
    for (char* key = nullptr;; std::free(key)) {
        plist_t value = nullptr;
        plist_dict_next_item(root, iter, &key, &value);
        if (key == nullptr) {
            break;
        }
        keys.emplace_back(key);
    }
    std::free(iter);
    return keys;
}

struct TOrderCase {
    test::TLayout Layout;
    bool Encrypted;
};

class DeviceOrder : public ::testing::TestWithParam<TOrderCase> {
protected:
    void SetUp() override {
        FPlan.FolderName = "phone";
        FPlan.DeviceName = "Real 4S";
        FPlan.UniqueId = "0123456789ABCDEF";
        FPlan.DateUnix = 1471687200; // 2016-08-20 10:00:00 UTC
        FPlan.Layout = GetParam().Layout;
        FPlan.Encrypted = GetParam().Encrypted;
        FPlan.Password = "four s";
        FPlan.KeyBagVersion = GetParam().Layout == test::TLayout::ManifestDb ? 4 : 3;
        FPlan.DoubleIterations = GetParam().Layout == test::TLayout::ManifestDb ? 3 : 0;
        FPlan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", std::string(5000, 'm') + "end"),
                       TTestFile("MediaDomain", "Media/DCIM/IMG_1.JPG", "jpeg")};
        FFolder = test::WriteBackup(FRoot.Path(), FPlan);
    }
    TBackupPlan FPlan;
    TTempFolder FRoot;
    std::string FFolder;
    test::TFixedZone FZone{"Europe/Berlin"};
};

TEST_P(DeviceOrder, TheWriterKeepsTheDevicesOrder) {
    std::string manifest;
    ASSERT_TRUE(ReadWholeFile(FFolder + "Manifest.plist", manifest));
    ASSERT_EQ(manifest.substr(0, 6), "bplist");
    std::vector<std::string> expected = {"SystemDomainsVersion", "Applications", "Lockdown", "Version",
                                         "IsEncrypted"};
    if (FPlan.Encrypted) {
        expected.emplace_back("BackupKeyBag");
        if (FPlan.Layout == test::TLayout::ManifestDb) {
            expected.emplace_back("ManifestKey");
        }
    }
    expected.insert(expected.end(), {"WasPasscodeSet", "Date"});
    EXPECT_EQ(TopKeysInStoredOrder(manifest), expected);
}

TEST_P(DeviceOrder, ListsEncryptedDatedWithKeyBagAndOpensByteExact) {
    TIpodBackup session(FRoot.Path());
    ASSERT_EQ(session.Backups().size(), 1u);
    const TIphoneBackup& backup = session.Backups()[0];
    EXPECT_EQ(backup.DeviceName, "Real 4S");
    EXPECT_EQ(backup.UniqueId, "0123456789abcdef");
    EXPECT_EQ(backup.IsEncrypted, FPlan.Encrypted);
    EXPECT_EQ(IsoLocalText(backup.LastBackupDate), "2016-08-20T12:00:00"); // summer time in Berlin
    EXPECT_EQ(backup.KeyBag.empty(), !FPlan.Encrypted);
    if (FPlan.Encrypted) {
        TBackupKeyBag keyBag(backup.KeyBag, 0);
        EXPECT_TRUE(keyBag.TestItunesPassword("four s"));
        EXPECT_FALSE(keyBag.TestItunesPassword("four S"));
        EXPECT_EQ(session.SelectBackup(0, "wrong"), osWrongPassword);
    }
    ASSERT_EQ(session.SelectBackup(0, "four s"), osOpened);
    std::string contents;
    ASSERT_TRUE(session.LoadBackupFile("Library/SMS/sms.db", contents));
    EXPECT_EQ(contents, std::string(5000, 'm') + "end");
    ASSERT_TRUE(session.LoadBackupFile("Media/DCIM/IMG_1.JPG", contents));
    EXPECT_EQ(contents, "jpeg");
}

INSTANTIATE_TEST_SUITE_P(Layouts, DeviceOrder,
                         ::testing::Values(TOrderCase{test::TLayout::Mbdb, false},
                                           TOrderCase{test::TLayout::Mbdb, true},
                                           TOrderCase{test::TLayout::ManifestDb, true}));

TEST(BinaryPlist, ConversionSortsKeysAtEveryDepthByCodePoint) {
    TTempFolder folder;
    test::TPlistPtr root(plist_new_dict());
    plist_t inner = plist_new_dict();
    plist_dict_set_item(inner, "b", plist_new_uint(1));
    plist_dict_set_item(inner, "a", plist_new_uint(2));
    plist_t list = plist_new_array();
    plist_t inList = plist_new_dict();
    plist_dict_set_item(inList, "\xC3\xA9t\xC3\xA9", plist_new_bool(1)); // "été" sorts after ASCII
    plist_dict_set_item(inList, "zoo", plist_new_bool(0));
    plist_array_append_item(list, inList);
    plist_dict_set_item(root.get(), "zeta", inner);
    plist_dict_set_item(root.get(), "beta", list);
    plist_dict_set_item(root.get(), "Alpha", plist_new_string("A"));
    const std::string source = folder.Path() + "in.plist";
    ASSERT_TRUE(WriteWholeFile(source, test::PlistBinary(static_cast<plist_t>(root.get()))));
    const std::string xml = PlistToXml(source, folder.Path() + "out.xml", true);
    ASSERT_EQ(xml, folder.Path() + "out.xml");
    std::string text;
    ASSERT_TRUE(ReadWholeFile(xml, text));
    std::vector<std::string> keys;
    for (std::size_t at = text.find("<key>"); at != std::string::npos; at = text.find("<key>", at + 1)) {
        keys.push_back(text.substr(at + 5, text.find("</key>", at) - at - 5));
    }
    EXPECT_EQ(keys,
              (std::vector<std::string>{"Alpha", "beta", "zoo", "\xC3\xA9t\xC3\xA9", "zeta", "a", "b"}));
}

TEST(BinaryPlist, NestingAndSharedObjectsAreBoundedBeforeParsing) {
    EXPECT_TRUE(IsSafeBinaryPlist(test::DeepBinaryPlist(511)));
    EXPECT_FALSE(IsSafeBinaryPlist(test::DeepBinaryPlist(512)));
    EXPECT_FALSE(IsSafeBinaryPlist(test::DeepBinaryPlist(100000)));
    EXPECT_TRUE(IsSafeBinaryPlist(test::SharedBinaryPlist(10)));  // 2,047 nodes
    EXPECT_FALSE(IsSafeBinaryPlist(test::SharedBinaryPlist(40))); // 2^41 nodes from 800 bytes
    std::string badReference = test::DeepBinaryPlist(3);
    badReference[10] = 0x7F; // object 0's reference now points far past the table
    EXPECT_FALSE(IsSafeBinaryPlist(badReference));
    EXPECT_FALSE(IsSafeBinaryPlist("bplist00"));
    // Right at the limit the parser still copes.
    TTempFolder folder;
    ASSERT_TRUE(WriteWholeFile(folder.Path() + "deep", test::DeepBinaryPlist(511)));
    EXPECT_EQ(PlistToXml(folder.Path() + "deep", folder.Path() + "x", true), folder.Path() + "x");
}

TEST(BinaryPlist, HostileManifestsCostOnlyTheirOwnBackup) {
    TTempFolder root;
    TBackupPlan plan;
    plan.FolderName = "a-good";
    plan.Files = {TTestFile("HomeDomain", "Library/SMS/sms.db", "sms")};
    test::WriteBackup(root.Path(), plan);
    test::WriteTestFile(root.Path() + "b-deep/Manifest.plist", test::DeepBinaryPlist(100000));
    test::WriteTestFile(root.Path() + "c-shared/Manifest.plist", test::SharedBinaryPlist(60));
    plan.FolderName = "d-current";
    plan.Layout = test::TLayout::ManifestDb;
    plan.Files.emplace_back("HomeDomain", "Library/Notes/notes.sqlite", "notes");
    const std::string current = test::WriteBackup(root.Path(), plan);
    // One row's keyed archive is nested 100,000 deep: nothing is read from it, the others are read.
    test::ExecSqlWithBlob(current + "Manifest.db",
                          "UPDATE Files SET file = ?1 WHERE relativePath = 'Library/Notes/notes.sqlite'",
                          test::DeepBinaryPlist(100000));
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.Backups().size(), 2u);
    EXPECT_EQ(session.Backups()[0].Path, root.Path() + "a-good/");
    EXPECT_EQ(session.Backups()[1].Path, current);
    ASSERT_EQ(session.SelectBackup(1, ""), osOpened);
    EXPECT_EQ(session.Files().Find("Library/SMS/sms.db")->Size, 3);
    EXPECT_EQ(session.Files().Find("Library/Notes/notes.sqlite")->Size, 0);
}

} // namespace
} // namespace kestrow
