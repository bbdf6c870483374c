// kestrow-mkdemo DIR: writes a small but realistic backup root for trying Kestrow out.
#include <iostream>

#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/crypto_writer.h"
#include "support/demo_data.h"
#include "support/photos_writer.h"

using namespace kestrow::test;

namespace {

// Files every demo backup holds besides the personal-data databases.
std::vector<TTestFile> CommonFiles(std::uint32_t seed) {
    TTestRandom random(seed);
    const std::string jpegHeader("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11);
    return {
        TTestFile("MediaDomain", "Library/SMS/Attachments/ab/12/IMG_0001.JPG",
                  jpegHeader + random.Text(40000)),
        TTestFile("HomeDomain", "Library/SMS/Parts/7f/03/1-1.jpg", jpegHeader + random.Text(20000)),
        TTestFile("HomeDomain", "Library/Preferences/com.apple.springboard.plist",
                  "bplist00" + random.Text(300)),
        TTestFile("MediaDomain", "Media/DCIM/100APPLE/IMG_0002.JPG", jpegHeader + random.Text(250000)),
        TTestFile("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0003.MOV", random.Text(3 * 1024 * 1024 + 5)),
        TTestFile("AppDomain-com.example.notes", "Documents/todo.txt", "buy milk\nwrite the report\n"),
        TTestFile("HomeDomain", "Library/Empty.txt", ""),
        TTestFile("HomeDomain", "Library/SMS", "", 0x41ED),
    };
}

std::vector<TTestFile> DemoFiles(const std::string& work, std::uint32_t seed, TDemoGeneration generation) {
    std::vector<TTestFile> files = CommonFiles(seed);
    AddDemoContacts(work, generation, files);
    if (generation == TDemoGeneration::Current) {
        AddDemoTodaysMessages(work, files);
        AddDemoTodaysNotes(work, files);
        AddDemoCollidingKeys(work, files);
    } else {
        AddDemoMessages(work, generation, files);
        AddDemoNotes(work, generation, files);
    }
    AddDemoCalls(work, generation, files);
    AddDemoCalendar(work, generation, files);
    AddDemoSafari(work, generation, files);
    AddDemoVoicemail(work, generation, files);
    AddDemoPhotos(work, generation, files);
    return files;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: kestrow-mkdemo DIR\n";
        return 64;
    }
    const std::string root = argv[1];
    try {
        const kestrow::TTempFolder scratch;
        const std::string work = scratch.Path();
        TBackupPlan plain;
        plain.FolderName = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
        plain.DeviceName = "Anna's iPhone";
        plain.UniqueId = "3D0D7E5FB2CE288813306E4D4636395E047A3D28";
        plain.DateUnix = 1336637730;
        plain.Files = DemoFiles(work, 1, TDemoGeneration::Old);
        WriteBackup(root, plain);

        TBackupPlan encrypted = plain;
        encrypted.FolderName = "3d0d7e5fb2ce288813306e4d4636395e047a3d28-20121105-093000";
        encrypted.DateUnix = 1352107800;
        encrypted.Encrypted = true;
        encrypted.Password = "kestrow-demo";
        encrypted.Iterations = 10000;
        encrypted.Files = DemoFiles(work, 2, TDemoGeneration::Mid);
        encrypted.Files[0].ProtectionClass = 2; // a Curve25519-wrapped key
        WriteBackup(root, encrypted);

        TBackupPlan old;
        old.FolderName = "9f1c2a7d33b1e4f5a6b7c8d9e0f1a2b3c4d5e6f7";
        old.DeviceName = "Ben's iPod touch";
        old.UniqueId = "9F1C2A7D33B1E4F5A6B7C8D9E0F1A2B3C4D5E6F7";
        old.DateUnix = 1262304000;
        old.Layout = TLayout::Old;
        old.LockdownInManifest = false;
        old.Files = CommonFiles(3);
        old.Files.pop_back(); // the oldest layout lists files only
        WriteBackup(root, old);

        TBackupPlan current;
        current.FolderName = "e5f6a7b8c9d0e1f2a3b4c5d6e7f8a9b0c1d2e3f4";
        current.DeviceName = "Chloe's iPhone 15";
        current.UniqueId = "00008120-001E2D3C4B5A6978";
        current.DateUnix = 1727776800;
        current.Layout = TLayout::ManifestDb;
        current.Files = DemoFiles(work, 4, TDemoGeneration::Current);
        WriteBackup(root, current);

        TBackupPlan currentEncrypted = current;
        currentEncrypted.FolderName = "e5f6a7b8c9d0e1f2a3b4c5d6e7f8a9b0c1d2e3f4-20241105-101500";
        currentEncrypted.DateUnix = 1730801700;
        currentEncrypted.Encrypted = true;
        currentEncrypted.Password = "kestrow-demo";
        currentEncrypted.KeyBagVersion = 4;
        currentEncrypted.Iterations = 10000;
        currentEncrypted.DoubleIterations = 1000000; // devices use 10,000,000: a tenth keeps the demo quick
        currentEncrypted.Files = DemoFiles(work, 5, TDemoGeneration::Current);
        currentEncrypted.Files[0].ProtectionClass = 2;
        WriteBackup(root, currentEncrypted);
    } catch (const std::exception& e) {
        std::cerr << "kestrow-mkdemo: " << e.what() << '\n';
        return 1;
    }
    std::cout << "Demo backups written to " << root << " (encrypted backup password: kestrow-demo)\n";
    return 0;
}
