#pragma once

#include <string>

#include "archive/backup_file.h"
#include "archive/session_log.h"

namespace kestrow {

class TBackupKeyBag;

// Reads folder + "Manifest.mbdb" into `files` in one forward pass. In an encrypted backup
// (`keyBag` given and unlocked) each protected file's key is unwrapped and a file whose key does
// not unwrap stays out. Returns the number of regular-file records with a path that were handled;
// 0 when the file is missing or its magic is wrong. A truncated record ends the reading quietly.
int ReadMbdb(const std::string& folder, bool encrypted, TBackupKeyBag* keyBag, TFileTable& files,
             TSessionLog& log);

// The same over bytes already in memory (fuzzing, benchmarks).
int ReadMbdbBytes(std::string_view data, bool encrypted, TBackupKeyBag* keyBag, TFileTable& files,
                  TSessionLog& log);

} // namespace kestrow
