#include "platform/new_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <stdio.h>
#include <unistd.h>

#include "platform/paths.h"

namespace kestrow {

namespace {

constexpr int kCreateFlags = O_WRONLY | O_CLOEXEC;
constexpr mode_t kNewFileMode = 0666; // the umask takes away what the user does not want

// A short name (well inside NAME_MAX, whatever the final name's length) that no export uses.
std::string PrivateName() {
    static std::atomic<std::uint64_t> counter{0};
    thread_local std::mt19937_64 random(std::random_device{}() ^ (std::uint64_t(::getpid()) << 32));
    char name[40];
    std::snprintf(name, sizeof name, ".kw%012llx%04llx.tmp",
                  static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFULL),
                  static_cast<unsigned long long>(counter++ & 0xFFFF));
    return name;
}

// Whether linkat(AT_EMPTY_PATH) works here (it needs CAP_DAC_READ_SEARCH); learnt on first use.
std::atomic<bool> gEmptyPathLinks{true};

} // namespace

TNewFile::~TNewFile() {
    if (!FPublished && !FPrivateName.empty() && FFolderFd >= 0) {
        FFile.Close();
        ::unlinkat(FFolderFd, FPrivateName.c_str(), 0);
    }
}

int TNewFile::Create(int folderFd, TPublishMode mode) {
    FFolderFd = folderFd;
    FMode = mode;
    if (mode == TPublishMode::NoReplace) {
        FFile = TFileHandle(::openat(folderFd, ".", O_TMPFILE | kCreateFlags, kNewFileMode));
        if (FFile.IsOpen()) {
            return 0;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return errno;
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = PrivateName();
        FFile = TFileHandle(
            ::openat(folderFd, name.c_str(), kCreateFlags | O_CREAT | O_EXCL | O_NOFOLLOW, kNewFileMode));
        if (FFile.IsOpen()) {
            FPrivateName = std::move(name);
            return 0;
        }
        if (errno != EEXIST) {
            return errno;
        }
    }
    return EEXIST;
}

int TNewFile::Write(const void* data, std::size_t size) {
    errno = 0;
    if (FFile.WriteAll(data, size)) {
        return 0;
    }
    return errno != 0 ? errno : EIO;
}

int TNewFile::LinkAnonymous(const std::string& name) {
    if (gEmptyPathLinks.load(std::memory_order_relaxed)) {
        if (::linkat(FFile.Fd(), "", FFolderFd, name.c_str(), AT_EMPTY_PATH) == 0) {
            return 0;
        }
        if (errno != ENOENT && errno != EPERM) {
            return errno;
        }
    }
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", FFile.Fd());
    if (::linkat(AT_FDCWD, procPath, FFolderFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        gEmptyPathLinks.store(false, std::memory_order_relaxed);
        return 0;
    }
    return errno;
}

int TNewFile::RenamePrivate(const std::string& name) {
    if (FMode == TPublishMode::Replace) {
        return ::renameat(FFolderFd, FPrivateName.c_str(), FFolderFd, name.c_str()) == 0 ? 0 : errno;
    }
    if (::renameat2(FFolderFd, FPrivateName.c_str(), FFolderFd, name.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return errno;
    }
    // File systems without RENAME_NOREPLACE: a hard link fails just as well when the name is taken.
    if (::linkat(FFolderFd, FPrivateName.c_str(), FFolderFd, name.c_str(), 0) != 0) {
        return errno;
    }
    ::unlinkat(FFolderFd, FPrivateName.c_str(), 0);
    return 0;
}

int TNewFile::Publish(const std::string& name) {
    if (!FFile.IsOpen()) {
        return EBADF;
    }
    int err = 0;
    if (FPrivateName.empty()) {
        err = LinkAnonymous(name);
        if (const int closeErr = FFile.Close(); err == 0) {
            err = closeErr;
        }
    } else {
        err = FFile.Close();
        if (err == 0) {
            err = RenamePrivate(name);
        }
    }
    FPublished = err == 0;
    return err;
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& target, TPublishMode mode)
    : FName(LastPathComponent(target)) {
    std::string folder = ParentFolder(target);
    FFolder = TFileHandle(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (FName.empty()) {
        FError = EISDIR;
    } else if (!FFolder.IsOpen()) {
        FError = errno;
    } else {
        FError = FFile.Create(FFolder.Fd(), mode);
    }
}

bool TAtomicFileWriter::Write(const void* data, std::size_t size) {
    if (FError == 0) {
        FError = FFile.Write(data, size);
    }
    return FError == 0;
}

bool TAtomicFileWriter::Commit() {
    if (FError == 0) {
        FError = FFile.Publish(FName);
    }
    return FError == 0;
}

} // namespace kestrow
