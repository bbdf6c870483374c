#include "platform/file_io.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kestrow {

TFileHandle::TFileHandle(TFileHandle&& other) noexcept : FFd(std::exchange(other.FFd, -1)) {}

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        FFd = std::exchange(other.FFd, -1);
    }
    return *this;
}

TFileHandle::~TFileHandle() {
    Close();
}

TFileHandle TFileHandle::OpenRead(const std::string& path) {
    return TFileHandle(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

std::int64_t TFileHandle::ReadFull(void* buffer, std::size_t size) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(FFd, out + done, size - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return -1;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

bool TFileHandle::WriteAll(const void* data, std::size_t size) {
    const auto* in = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(FFd, in, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        in += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

int TFileHandle::Close() {
    if (FFd < 0) {
        return 0;
    }
    const int result = ::close(std::exchange(FFd, -1));
    return result == 0 ? 0 : errno;
}

TMappedFile::TMappedFile(TMappedFile&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)),
      FMapped(std::exchange(other.FMapped, false)) {}

TMappedFile& TMappedFile::operator=(TMappedFile&& other) noexcept {
    if (this != &other) {
        Release();
        FData = std::exchange(other.FData, nullptr);
        FSize = std::exchange(other.FSize, 0);
        FMapped = std::exchange(other.FMapped, false);
    }
    return *this;
}

TMappedFile::~TMappedFile() {
    Release();
}

void TMappedFile::Release() {
    if (FMapped) {
        ::munmap(const_cast<char*>(FData), FSize);
    }
    FData = nullptr;
    FSize = 0;
    FMapped = false;
}

bool TMappedFile::Open(const std::string& path) {
    Release();
    TFileHandle file = TFileHandle::OpenRead(path);
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    if (info.st_size == 0) {
        return true;
    }
    void* data =
        ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, file.Fd(), 0);
    if (data == MAP_FAILED) {
        return false;
    }
    FData = static_cast<const char*>(data);
    FSize = static_cast<std::size_t>(info.st_size);
    FMapped = true;
    return true;
}

TAtomicFileWriter::TAtomicFileWriter(std::string target) : FTarget(std::move(target)) {
    std::string pattern = FTarget + ".partial-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        FError = errno;
        return;
    }
    ::fchmod(fd, 0644);
    FPartial = pattern;
    FHandle = TFileHandle(fd);
}

TAtomicFileWriter::~TAtomicFileWriter() {
    if (!FCommitted && !FPartial.empty()) {
        FHandle.Close();
        ::unlink(FPartial.c_str());
    }
}

bool TAtomicFileWriter::Write(const void* data, std::size_t size) {
    if (!FHandle.IsOpen() || FError != 0) {
        return false;
    }
    if (!FHandle.WriteAll(data, size)) {
        FError = errno != 0 ? errno : EIO;
        return false;
    }
    return true;
}

bool TAtomicFileWriter::Commit() {
    if (!FHandle.IsOpen() || FError != 0) {
        return false;
    }
    if (const int err = FHandle.Close(); err != 0) {
        FError = err;
        return false;
    }
    if (::rename(FPartial.c_str(), FTarget.c_str()) != 0) {
        FError = errno;
        return false;
    }
    FCommitted = true;
    return true;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    TFileHandle file = TFileHandle::OpenRead(path);
    if (!file.IsOpen()) {
        return false;
    }
    std::array<char, 65536> buffer{};
    for (;;) {
        const std::int64_t n = file.ReadFull(buffer.data(), buffer.size());
        if (n < 0) {
            return false;
        }
        contents.append(buffer.data(), static_cast<std::size_t>(n));
        if (static_cast<std::size_t>(n) < buffer.size()) {
            return true;
        }
    }
}

bool WriteWholeFile(const std::string& path, std::string_view contents) {
    TAtomicFileWriter writer(path);
    return writer.Write(contents.data(), contents.size()) && writer.Commit();
}

int CopyFileExclusive(const std::string& source, const std::string& target) {
    TFileHandle in = TFileHandle::OpenRead(source);
    if (!in.IsOpen()) {
        return errno;
    }
    TFileHandle out(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!out.IsOpen()) {
        return errno;
    }
    std::vector<char> buffer(std::size_t{1} << 20);
    int err = 0;
    for (;;) {
        const std::int64_t n = in.ReadFull(buffer.data(), buffer.size());
        if (n < 0 || !out.WriteAll(buffer.data(), static_cast<std::size_t>(n))) {
            err = errno != 0 ? errno : EIO;
            break;
        }
        if (static_cast<std::size_t>(n) < buffer.size()) {
            break;
        }
    }
    if (const int closeErr = out.Close(); err == 0) {
        err = closeErr;
    }
    if (err != 0) {
        ::unlink(target.c_str());
    }
    return err;
}

} // namespace kestrow
