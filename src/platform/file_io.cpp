#include "platform/file_io.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "platform/new_file.h"

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

std::int64_t ReadFullFd(int fd, void* buffer, std::size_t size) {
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, out + done, size - done);
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

bool WriteAllFd(int fd, const void* data, std::size_t size) {
    const auto* in = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, in, size);
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

std::int64_t TFileHandle::ReadFull(void* buffer, std::size_t size) {
    return ReadFullFd(FFd, buffer, size);
}

bool TFileHandle::WriteAll(const void* data, std::size_t size) {
    return WriteAllFd(FFd, data, size);
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

int TMappedFile::Open(const std::string& path) {
    Release();
    TFileHandle file;
    std::int64_t size = 0;
    if (const int err = OpenRegularFileAt(AT_FDCWD, path, file, size); err != 0) {
        return err;
    }
    if (size == 0) {
        return 0;
    }
    void* data = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, file.Fd(), 0);
    if (data == MAP_FAILED) {
        return errno;
    }
    FData = static_cast<const char*>(data);
    FSize = static_cast<std::size_t>(size);
    FMapped = true;
    return 0;
}

std::string ErrorText(int error) {
    if (error == kNotRegularFileError) {
        return "not a regular file in the backup (refused)";
    }
    if (error == kNotInBackupError) {
        return "not in the backup";
    }
    if (error == ELOOP) {
        return "a symbolic link stands in the way (links are never followed)";
    }
    return std::strerror(error);
}

namespace {

constexpr int kWalkFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// ELOOP (O_NOFOLLOW) or ENOTDIR (O_DIRECTORY) means a link or something else stood where a file
// or folder was expected.
int OpenError() {
    return errno == ELOOP || errno == ENOTDIR ? kNotRegularFileError : errno;
}

} // namespace

int OpenRegularFileAt(int folderFd, std::string_view relativePath, TFileHandle& file, std::int64_t& size) {
    file = TFileHandle();
    size = 0;
    while (relativePath.size() > 1 && relativePath.back() == '/') {
        relativePath.remove_suffix(1); // a folder named with its trailing "/" is judged as a folder
    }
    if (relativePath.empty()) {
        return ENOENT;
    }
    // The folders of an absolute path are the caller's own and followed as given; below an open
    // folder nothing is followed.
    const bool absolute = relativePath.front() == '/';
    const int walkFlags = absolute ? (kWalkFlags & ~O_NOFOLLOW) : kWalkFlags;
    TFileHandle folder;
    int at = absolute ? AT_FDCWD : folderFd;
    std::size_t start = 0;
    for (std::size_t slash = relativePath.find('/'); slash != std::string_view::npos;
         slash = relativePath.find('/', start)) {
        const std::string component(absolute && slash == 0 ? "/" : relativePath.substr(start, slash - start));
        start = slash + 1;
        if (component.empty()) {
            continue;
        }
        TFileHandle next(::openat(at, component.c_str(), walkFlags));
        if (!next.IsOpen()) {
            return OpenError();
        }
        folder = std::move(next);
        at = folder.Fd();
    }
    const std::string name(relativePath.substr(start));
    file = TFileHandle(::openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.IsOpen()) {
        return OpenError();
    }
    struct stat info {};
    if (::fstat(file.Fd(), &info) != 0) {
        return errno;
    }
    if (!S_ISREG(info.st_mode)) {
        file = TFileHandle();
        return kNotRegularFileError;
    }
    size = static_cast<std::int64_t>(info.st_size);
    return 0;
}

namespace {

constexpr std::size_t kCopyChunk = std::size_t{8} << 20;

int CopyByReading(int sourceFd, int targetFd, std::int64_t remaining, const std::stop_token& stop) {
    thread_local std::vector<char> buffer(std::size_t{1} << 20);
    int err = 0;
    while (remaining > 0 && err == 0) {
        if (stop.stop_requested()) {
            err = ECANCELED;
            break;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(remaining, buffer.size()));
        const std::int64_t n = ReadFullFd(sourceFd, buffer.data(), want);
        if (n < 0) {
            err = errno;
        } else if (n == 0) {
            break; // the file shrank: what was there is copied
        } else if (!WriteAllFd(targetFd, buffer.data(), static_cast<std::size_t>(n))) {
            err = errno != 0 ? errno : EIO;
        }
        remaining -= n;
    }
    return err;
}

} // namespace

int CopyFileContents(int sourceFd, int targetFd, std::int64_t size, const std::stop_token& stop) {
    std::int64_t remaining = size;
    while (remaining > 0) {
        if (stop.stop_requested()) {
            return ECANCELED;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(remaining, kCopyChunk));
        const ssize_t n = ::copy_file_range(sourceFd, nullptr, targetFd, nullptr, want, 0);
        if (n > 0) {
            remaining -= n;
            continue;
        }
        if (n == 0) {
            return 0; // the file shrank
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != EBADF) {
            return errno;
        }
        return CopyByReading(sourceFd, targetFd, remaining, stop);
    }
    return 0;
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
    contents.clear();
    TFileHandle file;
    std::int64_t size = 0;
    if (OpenRegularFileAt(AT_FDCWD, path, file, size) != 0) {
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
    TFileHandle in;
    std::int64_t size = 0;
    if (const int err = OpenRegularFileAt(AT_FDCWD, source, in, size); err != 0) {
        return err;
    }
    TAtomicFileWriter out(target, TPublishMode::NoReplace);
    if (!out.IsOpen()) {
        return out.Error();
    }
    if (const int err = CopyFileContents(in.Fd(), out.Fd(), size, {}); err != 0) {
        return err;
    }
    return out.Commit() ? 0 : out.Error();
}

} // namespace kestrow
