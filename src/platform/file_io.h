#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>

namespace kestrow {

// Reads until `size` bytes are read or the file ends; -1 on error.
std::int64_t ReadFullFd(int fd, void* buffer, std::size_t size);
// Writes everything, retrying after interruptions; false on error (errno set).
bool WriteAllFd(int fd, const void* data, std::size_t size);

// Move-only owner of a POSIX file descriptor; the destructor closes without reporting.
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int fd) : FFd(fd) {}
    TFileHandle(TFileHandle&& other) noexcept;
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    ~TFileHandle();

    static TFileHandle OpenRead(const std::string& path);
    bool IsOpen() const { return FFd >= 0; }
    // Gives up ownership without closing.
    int Release() { return std::exchange(FFd, -1); }
    int Fd() const { return FFd; }
    // Reads until `size` bytes are read or the file ends; -1 on error.
    std::int64_t ReadFull(void* buffer, std::size_t size);
    bool WriteAll(const void* data, std::size_t size);
    int Close(); // 0 or errno

private:
    int FFd = -1;
};

// A whole file mapped read-only; empty files map to an empty view.
class TMappedFile {
public:
    TMappedFile() = default;
    TMappedFile(TMappedFile&& other) noexcept;
    TMappedFile& operator=(TMappedFile&& other) noexcept;
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;
    ~TMappedFile();

    // Maps a regular file (a link or anything else is refused); returns 0 or errno.
    int Open(const std::string& path);
    std::string_view View() const { return {FData, FSize}; }

private:
    void Release();
    const char* FData = nullptr;
    std::size_t FSize = 0;
    bool FMapped = false;
};

// The errno given when a file read out of a backup is not a regular file (a symbolic link, a FIFO,
// a device, a folder): nothing but regular files is ever read from a backup.
constexpr int kNotRegularFileError = ENOTSUP;

// The errno given when a file the manifest lists is missing from the backup folder (or a record
// names a file the table does not hold): the source is missing, not the destination.
constexpr int kNotInBackupError = ENODATA;

// An error number as a user reads it: strerror, except for the refusals of this system.
std::string ErrorText(int error);

// Opens `relativePath` below an open folder for reading without following any symbolic link on the
// way and without blocking, and refuses anything but a regular file (kNotRegularFileError).
// Returns 0 or errno; `size` is the file's size.
int OpenRegularFileAt(int folderFd, std::string_view relativePath, TFileHandle& file, std::int64_t& size);

// Copies `size` bytes from one open file to another (in the kernel where it can), checking
// `stop` between chunks. Returns 0, errno, or ECANCELED when stopped.
int CopyFileContents(int sourceFd, int targetFd, std::int64_t size, const std::stop_token& stop);

bool ReadWholeFile(const std::string& path, std::string& contents);
// Replaces the file's contents (written beside it first, then renamed).
bool WriteWholeFile(const std::string& path, std::string_view contents);
// Copies a regular file byte for byte; fails with EEXIST when the target exists, and never leaves a
// partial target. Returns 0 or errno.
int CopyFileExclusive(const std::string& source, const std::string& target);

} // namespace kestrow
