#pragma once

#include <string>

#include "archive/backup_list.h"
#include "archive/session_log.h"

namespace kestrow {

// Reads a backup folder's description into `backups` (at most one entry): Manifest.plist first,
// Info.plist only when the manifest names no device. `workFile` receives binary-list conversions.
void ReadManifestDescription(const std::string& folder, const std::string& workFile, TIphoneBackups& backups,
                             TSessionLog& log);
void ReadInfoDescription(const std::string& infoPlistPath, bool isEncrypted, const std::string& workFile,
                         TIphoneBackups& backups, TSessionLog& log);

} // namespace kestrow
