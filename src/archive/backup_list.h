#pragma once

#include <string>
#include <vector>

namespace kestrow {

// One backup folder as described by its Manifest.plist (or Info.plist).
struct TIphoneBackup {
    std::string Path; // the backup folder, ending with "/"
    std::string DeviceName;
    double LastBackupDate = 0; // local day count; 0 when unknown
    std::string UniqueId;      // lower-case
    bool IsEncrypted = false;
    std::string KeyBag; // base64 keybag text of an encrypted backup
};

// An entry's index is the backup's identity everywhere else.
using TIphoneBackups = std::vector<TIphoneBackup>;

// $KESTROW_BACKUP_ROOT when set, else ${XDG_DATA_HOME:-$HOME/.local/share}/Apple Computer/MobileSync/Backup/.
std::string BackupRoot();

// Every sub-folder of `root` as root + name (no trailing "/"), sorted by name (byte order), so
// that indexes are the same from run to run.
void ListBackupFolders(const std::string& root, std::vector<std::string>& list);

// The entry of `uniqueId` (ASCII case-insensitive) with the greatest date; a candidate must be
// strictly later than the best so far, starting from 0. Returns that date and sets `index`, or
// returns 0 with `index` = -1.
double FindNewestBackup(const TIphoneBackups& backups, const std::string& uniqueId, int& index);

// The unique identifier derived from a backup folder's name: up to its first "-".
std::string UniqueIdFromFolder(const std::string& path);

} // namespace kestrow
