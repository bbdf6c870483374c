// The property-list path: a file as found in a backup, converted, loaded and walked, also as a
// backup description and as the oldest layout's manifest with an embedded list.
#include <cstdint>
#include <string>
#include <sys/stat.h>

#include "archive/backup_description.h"
#include "archive/old_manifest.h"
#include "platform/file_io.h"
#include "platform/temp_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static kestrow::TTempFolder folder;
    const std::string backup = folder.Path() + "backup/";
    static const bool made = [&] { return ::mkdir(backup.c_str(), 0700) == 0; }();
    (void)made;
    const std::string input(reinterpret_cast<const char*>(data), size);
    kestrow::WriteWholeFile(backup + "Manifest.plist", input);
    kestrow::WriteWholeFile(backup + "Info.plist", input);
    kestrow::TIphoneBackups backups;
    kestrow::TSessionLog log;
    kestrow::ReadManifestDescription(backup, folder.Path() + "work", backups, log);
    kestrow::TFileTable files;
    kestrow::ReadOldManifest(backup, folder.Path() + "work", files);
    return 0;
}
