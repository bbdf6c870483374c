#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/backup_file.h"
#include "archive/session_log.h"
#include "platform/bytes.h"

namespace kestrow {

class TBackupKeyBag;

// What a current-layout manifest keeps of one file: the NSKeyedArchiver "MBFile" object of the
// `file` column.
struct TMbFileInfo {
    std::int64_t Size = 0;
    std::int32_t ProtectionClass = 0;
    TBytes EncryptionKey; // 4-byte little-endian class + wrapped key; empty when unprotected
    std::uint16_t Mode = 0;
    std::int64_t ModifiedTime = 0; // LastModified, seconds since 1970
    std::string Target;            // a symbolic link's target (ASCII strings only)
};

// Parses one `file` blob; false when it is not a keyed archive with an MBFile root.
bool ParseMbFile(std::string_view blob, TMbFileInfo& info);

// Reads the Files table of a current-layout manifest (a plain database, or the decrypted copy of
// an encrypted one) into `files` in one pass: regular files only (flags 1), table keys as in the
// older layout, content file "xx/<fileID>"; symbolic links (flags 4) go to the table's links. Protected files
// get their unwrapped key and stay out when it does not unwrap. Returns the number of regular-file rows with
// a path handled; a damaged database logs "Dump MBD- error" and keeps what was read.
int ReadManifestDb(const std::string& dbPath, const std::string& privateFolder, bool encrypted,
                   TBackupKeyBag* keyBag, TFileTable& files, TSessionLog& log);

// The ManifestKey of an encrypted current-layout backup's Manifest.plist (class prefix + wrapped
// key), or empty.
TBytes ReadManifestKey(const std::string& folder, const std::string& workFile);

} // namespace kestrow
