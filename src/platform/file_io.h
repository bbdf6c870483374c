#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrow {

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

    bool Open(const std::string& path);
    std::string_view View() const { return {FData, FSize}; }

private:
    void Release();
    const char* FData = nullptr;
    std::size_t FSize = 0;
    bool FMapped = false;
};

// Writes a file under a private name beside its target and renames it into place on Commit, so a
// reader never sees a half-written target and a failure never replaces an existing file.
class TAtomicFileWriter {
public:
    explicit TAtomicFileWriter(std::string target);
    TAtomicFileWriter(const TAtomicFileWriter&) = delete;
    TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;
    ~TAtomicFileWriter(); // removes the partial file unless committed

    bool IsOpen() const { return FHandle.IsOpen(); }
    int Error() const { return FError; }
    bool Write(const void* data, std::size_t size);
    bool Commit();

private:
    std::string FTarget;
    std::string FPartial;
    TFileHandle FHandle;
    int FError = 0;
    bool FCommitted = false;
};

bool ReadWholeFile(const std::string& path, std::string& contents);
// Replaces the file's contents (written beside it first, then renamed).
bool WriteWholeFile(const std::string& path, std::string_view contents);
// Copies a file byte for byte; fails with EEXIST when the target exists. Returns 0 or errno.
int CopyFileExclusive(const std::string& source, const std::string& target);

} // namespace kestrow
