#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <stop_token>
#include <string>

#include "archive/backup_file.h"
#include "platform/file_io.h"
#include "platform/new_file.h"

namespace kestrow {

// Reads the content files of one open backup folder. Nothing but regular files is read, no link
// below the backup folder is followed (the current layout's two-hex-digit folders included), and
// nothing is ever written there. Once opened it does not change (folder handles of the current
// layout are opened on first use, lock-free), so worker threads share it; every call returns its
// own error.
class TBackupFileAccess {
public:
    TBackupFileAccess();
    TBackupFileAccess(const TBackupFileAccess&) = delete;
    TBackupFileAccess& operator=(const TBackupFileAccess&) = delete;
    ~TBackupFileAccess();

    // Opens the backup folder (a path of the user's, followed as given). Returns 0 or errno.
    int Open(const std::string& backupFolder);
    void Close();

    // Opens a content file for reading; `size` is its stored (possibly encrypted) size.
    int OpenContent(const TBackupFile& file, TFileHandle& handle, std::int64_t& size) const;
    // The stored size of a content file without opening it (one status call): 0 when it is a
    // regular file, else an error as OpenContent gives.
    int StatContent(const TBackupFile& file, std::int64_t& size) const;
    // Writes a file's plain content (decrypted when it has a key) into an open output file.
    int WriteContent(const TBackupFile& file, int targetFd, const std::stop_token& stop,
                     std::uint64_t& written) const;
    // Writes a file's plain content as `name` in an open folder, published whole or not at all;
    // with `keepTime` it carries the modification time the manifest records (when there is one).
    int CopyTo(const TBackupFile& file, int folderFd, const std::string& name, TPublishMode mode,
               const std::stop_token& stop, std::uint64_t& written, bool keepTime = false) const;
    // A file's plain content in memory.
    int Load(const TBackupFile& file, std::string& contents) const;

private:
    int ShardFolder(std::string_view fileName) const;

    TFileHandle FFolder;
    mutable std::array<std::atomic<int>, 256> FShards; // -1 until opened
};

} // namespace kestrow
