#include "archive/backup_file_access.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "crypto/file_decrypt.h"

namespace kestrow {

namespace {

constexpr int kNoFolder = -1;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The shard of a current-layout content file "xx/<fileID>": 0 to 255, or -1 for any other name.
int ShardOf(std::string_view fileName) {
    if (fileName.size() < 4 || fileName[2] != '/' || fileName.find('/', 3) != std::string_view::npos) {
        return -1;
    }
    const int high = HexValue(fileName[0]);
    const int low = HexValue(fileName[1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

} // namespace

TBackupFileAccess::TBackupFileAccess() {
    for (auto& shard : FShards) {
        shard.store(kNoFolder);
    }
}

TBackupFileAccess::~TBackupFileAccess() {
    Close();
}

int TBackupFileAccess::Open(const std::string& backupFolder) {
    Close();
    FFolder = TFileHandle(::open(backupFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return FFolder.IsOpen() ? 0 : errno;
}

void TBackupFileAccess::Close() {
    for (auto& shard : FShards) {
        if (const int fd = shard.exchange(kNoFolder); fd >= 0) {
            ::close(fd);
        }
    }
    FFolder.Close();
}

int TBackupFileAccess::ShardFolder(std::string_view fileName) const {
    const int shard = ShardOf(fileName);
    if (shard < 0) {
        return kNoFolder;
    }
    const int known = FShards[static_cast<std::size_t>(shard)].load(std::memory_order_acquire);
    if (known != kNoFolder) {
        return known;
    }
    const std::string name(fileName.substr(0, 2));
    const int fd = ::openat(FFolder.Fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return kNoFolder;
    }
    int expected = kNoFolder;
    if (!FShards[static_cast<std::size_t>(shard)].compare_exchange_strong(expected, fd)) {
        ::close(fd); // another thread was first
        return expected;
    }
    return fd;
}

int TBackupFileAccess::OpenContent(const TBackupFile& file, TFileHandle& handle, std::int64_t& size) const {
    if (!FFolder.IsOpen()) {
        return EBADF;
    }
    if (file.FileName.empty() || file.FileName.front() == '/') {
        return EINVAL;
    }
    const int shard = ShardFolder(file.FileName);
    const int err = shard != kNoFolder
                        ? OpenRegularFileAt(shard, std::string_view(file.FileName).substr(3), handle, size)
                        : OpenRegularFileAt(FFolder.Fd(), file.FileName, handle, size);
    return err == ENOENT ? kNotInBackupError : err; // the manifest lists a file the folder lacks
}

int TBackupFileAccess::StatContent(const TBackupFile& file, std::int64_t& size) const {
    size = 0;
    const int shard = FFolder.IsOpen() ? ShardFolder(file.FileName) : kNoFolder;
    if (shard == kNoFolder) {
        // Any other name is walked as an opening walks it.
        TFileHandle handle;
        return OpenContent(file, handle, size);
    }
    struct stat st {};
    if (::fstatat(shard, file.FileName.c_str() + 3, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? kNotInBackupError : errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return kNotRegularFileError;
    }
    size = st.st_size;
    return 0;
}

int TBackupFileAccess::WriteContent(const TBackupFile& file, int targetFd, const std::stop_token& stop,
                                    std::uint64_t& written) const {
    written = 0;
    TFileHandle source;
    std::int64_t size = 0;
    if (const int err = OpenContent(file, source, size); err != 0) {
        return err;
    }
    if (!file.Key.empty()) {
        return DecryptFileContents(source.Fd(), size, file.Key, file.Size, targetFd, stop, &written);
    }
    const int err = CopyFileContents(source.Fd(), targetFd, size, stop);
    written = err == 0 ? static_cast<std::uint64_t>(size) : 0;
    return err;
}

int TBackupFileAccess::CopyTo(const TBackupFile& file, int folderFd, const std::string& name,
                              TPublishMode mode, const std::stop_token& stop, std::uint64_t& written,
                              bool keepTime) const {
    TNewFile target;
    int err = target.Create(folderFd, mode);
    if (err == 0) {
        err = WriteContent(file, target.Fd(), stop, written);
    }
    if (err == 0 && keepTime && file.ModifiedTime != 0) {
        // Set before the name is given: linking a file keeps its times.
        const timespec times[2] = {{0, UTIME_OMIT}, {file.ModifiedTime, 0}};
        err = ::futimens(target.Fd(), times) == 0 ? 0 : errno;
    }
    return err == 0 ? target.Publish(name) : err;
}

int TBackupFileAccess::Load(const TBackupFile& file, std::string& contents) const {
    contents.clear();
    TFileHandle source;
    std::int64_t size = 0;
    if (const int err = OpenContent(file, source, size); err != 0) {
        return err;
    }
    if (!file.Key.empty()) {
        return DecryptOpenFileToStream(source.Fd(), size, file.Key, contents, file.Size) ? 0 : EBADMSG;
    }
    contents.resize(static_cast<std::size_t>(size));
    const std::int64_t got = source.ReadFull(contents.data(), contents.size());
    if (got < 0) {
        contents.clear();
        return errno;
    }
    contents.resize(static_cast<std::size_t>(got));
    return 0;
}

} // namespace kestrow
