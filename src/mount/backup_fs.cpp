#include "mount/backup_fs.h"

#define FUSE_USE_VERSION 35

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

#include "archive/ipod_backup.h"
#include "crypto/cbc_range.h"
#include "platform/file_io.h"

namespace kestrow {

namespace {

constexpr std::size_t kCacheBlocks = 8192; // 128 KiB decrypted ahead of a read
constexpr double kTimeout = 3600;          // nothing in a backup changes while it is mounted

} // namespace

struct TBackupFileSystem::TState {
    explicit TState(const TIpodBackup& session) : Access(session.FileAccess()) {}

    const TBackupFileAccess& Access;
    TMountTree Tree;
    std::int64_t DefaultTime = 0; // for records without a time: the backup folder's
    TCbcRangeDecryptor SizeCipher;
};

namespace {

using TState = TBackupFileSystem::TState;

// One open file: its content file (not open when it is missing: reads fail with EIO) and the run
// of blocks decrypted last.
struct TOpenFile {
    const TBackupFile* File = nullptr;
    TFileHandle Content;
    std::int64_t SourceSize = 0;
    std::int64_t PlainSize = 0;
    TCbcRangeDecryptor Cipher;
    std::vector<std::uint8_t> Cache;
    std::int64_t CacheFirst = 0; // block
    std::size_t CacheBlocks = 0;
};

TState& State() {
    return *static_cast<TState*>(fuse_get_context()->private_data);
}

// Files still open when the file system goes are freed with it: the kernel may not send their
// release before the session ends.
std::mutex gOpenMutex;
std::unordered_map<TOpenFile*, std::unique_ptr<TOpenFile>> gOpenFiles;

// A file's plain size: the content file's (plain), the length without padding (protected, from the
// last block alone), the recorded size when the content cannot be read.
std::int64_t SizeOf(TState& state, TMountNode& node) {
    if (node.Size >= 0) {
        return node.Size;
    }
    const TBackupFile& file = *node.File;
    std::int64_t size = file.Size;
    TFileHandle content;
    std::int64_t stored = 0;
    if (state.Access.OpenContent(file, content, stored) == 0) {
        std::int64_t plain = 0;
        if (file.Key.empty()) {
            size = stored;
        } else if (state.SizeCipher.Init(file.Key) &&
                   PlainSizeOf(state.SizeCipher, content.Fd(), stored, file.Size, plain) == 0) {
            size = plain;
        }
    }
    node.Size = std::max<std::int64_t>(size, 0);
    return node.Size;
}

void FillStat(TState& state, TMountNode& node, struct stat& st) {
    st = {};
    st.st_uid = ::getuid();
    st.st_gid = ::getgid();
    st.st_nlink = 1;
    std::int64_t time = 0;
    if (node.IsFolder()) {
        st.st_mode = S_IFDIR | 0555;
        st.st_nlink = 2;
    } else if (node.Link != nullptr) {
        st.st_mode = S_IFLNK | 0777;
        st.st_size = static_cast<off_t>(node.Link->Target.size());
        time = node.Link->ModifiedTime;
    } else {
        const std::uint16_t mode = node.File->Mode & 0777;
        st.st_mode = S_IFREG | (mode != 0 ? mode : 0644);
        st.st_size = SizeOf(state, node);
        st.st_blocks = (st.st_size + 511) / 512;
        time = node.File->ModifiedTime;
    }
    st.st_mtim.tv_sec = time != 0 ? time : state.DefaultTime;
    st.st_atim = st.st_mtim;
    st.st_ctim = st.st_mtim;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* /*fi*/) {
    TState& state = State();
    const std::uint32_t index = state.Tree.Find(path);
    if (index == TMountTree::kNone) {
        return -ENOENT;
    }
    FillStat(state, state.Tree.Node(index), *st);
    return 0;
}

int ReadLink(const char* path, char* buffer, std::size_t size) {
    TState& state = State();
    const std::uint32_t index = state.Tree.Find(path);
    if (index == TMountTree::kNone || state.Tree.Node(index).Link == nullptr || size == 0) {
        return index == TMountTree::kNone ? -ENOENT : -EINVAL;
    }
    const std::string& target = state.Tree.Node(index).Link->Target;
    const std::size_t length = std::min(target.size(), size - 1);
    std::memcpy(buffer, target.data(), length);
    buffer[length] = '\0';
    return 0;
}

int ReadDir(const char* path, void* buffer, fuse_fill_dir_t filler, off_t /*offset*/, fuse_file_info* /*fi*/,
            fuse_readdir_flags /*flags*/) {
    TState& state = State();
    const std::uint32_t index = state.Tree.Find(path);
    if (index == TMountTree::kNone || !state.Tree.Node(index).IsFolder()) {
        return index == TMountTree::kNone ? -ENOENT : -ENOTDIR;
    }
    filler(buffer, ".", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    filler(buffer, "..", nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    struct stat st {};
    for (const std::uint32_t child : state.Tree.Node(index).Children) {
        const TMountNode& node = state.Tree.Node(child);
        st.st_mode = node.IsFolder() ? S_IFDIR : (node.Link != nullptr ? S_IFLNK : S_IFREG);
        if (filler(buffer, node.Name.c_str(), &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0) {
            break;
        }
    }
    return 0;
}

int Open(const char* path, fuse_file_info* fi) {
    if ((fi->flags & O_ACCMODE) != O_RDONLY) {
        return -EROFS;
    }
    TState& state = State();
    const std::uint32_t index = state.Tree.Find(path);
    if (index == TMountTree::kNone || state.Tree.Node(index).File == nullptr) {
        return index == TMountTree::kNone ? -ENOENT : -EISDIR;
    }
    TMountNode& node = state.Tree.Node(index);
    auto file = std::make_unique<TOpenFile>();
    file->File = node.File;
    file->PlainSize = SizeOf(state, node);
    if (state.Access.OpenContent(*node.File, file->Content, file->SourceSize) == 0 &&
        !node.File->Key.empty() && !file->Cipher.Init(node.File->Key)) {
        file->Content.Close();
    }
    fi->fh = reinterpret_cast<std::uint64_t>(file.get());
    const std::lock_guard lock(gOpenMutex);
    gOpenFiles.emplace(file.get(), std::move(file));
    fi->keep_cache = 1;
    return 0;
}

int ReadPlain(TOpenFile& file, char* buffer, std::size_t size, off_t offset) {
    const std::int64_t got = ::pread(file.Content.Fd(), buffer, size, offset);
    return got < 0 ? -EIO : static_cast<int>(got);
}

// Serves a read from the decrypted run, decrypting a new run from the first block asked for when
// the read is not inside it.
int ReadDecrypted(TOpenFile& file, char* buffer, std::size_t size, off_t offset) {
    const auto block = static_cast<std::int64_t>(kAesBlock);
    const std::int64_t first = offset / block;
    const std::int64_t last = (offset + static_cast<std::int64_t>(size) - 1) / block;
    if (file.CacheBlocks == 0 || first < file.CacheFirst ||
        last >= file.CacheFirst + static_cast<std::int64_t>(file.CacheBlocks)) {
        const std::int64_t wanted = std::max<std::int64_t>(last - first + 1, kCacheBlocks);
        const auto count = static_cast<std::size_t>(std::min(wanted, file.SourceSize / block - first));
        file.Cache.resize(count * kAesBlock);
        file.CacheBlocks = 0;
        if (file.Cipher.Decrypt(file.Content.Fd(), first, count, file.Cache.data()) != 0) {
            return -EIO;
        }
        file.CacheFirst = first;
        file.CacheBlocks = count;
    }
    std::memcpy(buffer, file.Cache.data() + (offset - file.CacheFirst * block), size);
    return static_cast<int>(size);
}

int Read(const char* /*path*/, char* buffer, std::size_t size, off_t offset, fuse_file_info* fi) {
    TOpenFile& file = *reinterpret_cast<TOpenFile*>(fi->fh);
    if (!file.Content.IsOpen()) {
        return -EIO; // the content file is missing from the backup
    }
    if (offset < 0 || offset >= file.PlainSize || size == 0) {
        return 0;
    }
    size = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(size), file.PlainSize - offset));
    return file.File->Key.empty() ? ReadPlain(file, buffer, size, offset)
                                  : ReadDecrypted(file, buffer, size, offset);
}

int Release(const char* /*path*/, fuse_file_info* fi) {
    const std::lock_guard lock(gOpenMutex);
    gOpenFiles.erase(reinterpret_cast<TOpenFile*>(fi->fh));
    return 0;
}

void Destroy(void* /*privateData*/) {
    const std::lock_guard lock(gOpenMutex);
    gOpenFiles.clear();
}

void* Init(fuse_conn_info* conn, fuse_config* cfg) {
    cfg->kernel_cache = 1;
    cfg->entry_timeout = kTimeout;
    cfg->attr_timeout = kTimeout;
    cfg->negative_timeout = kTimeout;
    // Listing a folder must not cost the size of every file in it (a protected file's size needs
    // its last block decrypted): attributes come when they are asked for.
    conn->want &= ~(FUSE_CAP_READDIRPLUS | FUSE_CAP_READDIRPLUS_AUTO);
    return fuse_get_context()->private_data;
}

fuse_operations Operations() {
    fuse_operations ops{};
    ops.getattr = GetAttr;
    ops.readlink = ReadLink;
    ops.open = Open;
    ops.read = Read;
    ops.release = Release;
    ops.readdir = ReadDir;
    ops.init = Init;
    ops.destroy = Destroy;
    return ops;
}

void Wake(int /*signal*/) {}

// A read of /dev/fuse is ended by a signal without SA_RESTART; the loop then sees that it should
// exit.
void InstallWakeHandler() {
    struct sigaction action {};
    action.sa_handler = Wake;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGUSR1, &action, nullptr);
}

} // namespace

TBackupFileSystem::TBackupFileSystem(const TIpodBackup& session, bool byDomain)
    : FState(std::make_unique<TState>(session)) {
    FSkipped = FState->Tree.Build(session.Files(), byDomain);
    struct stat st {};
    const int index = session.CurrentIndex();
    if (index >= 0 && ::stat(session.Backups()[static_cast<std::size_t>(index)].Path.c_str(), &st) == 0) {
        FState->DefaultTime = st.st_mtim.tv_sec;
    }
}

TBackupFileSystem::~TBackupFileSystem() = default;

int TBackupFileSystem::CheckMountPoint(const std::string& mountPoint) {
    DIR* dir = ::opendir(mountPoint.c_str());
    if (dir == nullptr) {
        return errno;
    }
    int err = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            err = ENOTEMPTY;
            break;
        }
    }
    ::closedir(dir);
    return err;
}

int TBackupFileSystem::Run(const std::string& mountPoint, const std::stop_token& stop, std::string& error) {
    if (const int err = CheckMountPoint(mountPoint); err != 0) {
        error = std::strerror(err);
        return err;
    }
    std::string program = "kestrow";
    std::string option = "-o";
    std::string options = "ro,fsname=kestrow,subtype=kestrow";
    char* argv[] = {program.data(), option.data(), options.data()};
    fuse_args args = FUSE_ARGS_INIT(3, argv);
    const fuse_operations ops = Operations();
    fuse* fs = fuse_new(&args, &ops, sizeof(ops), FState.get());
    if (fs == nullptr || fuse_mount(fs, mountPoint.c_str()) != 0) {
        if (fs != nullptr) {
            fuse_destroy(fs);
        }
        error = "the FUSE file system could not be mounted (is /dev/fuse there, and fusermount3?)";
        return EIO;
    }
    InstallWakeHandler();
    std::atomic<bool> done{false};
    const pthread_t loop = ::pthread_self();
    std::thread watcher([&] {
        // Until the loop has returned: once a stop is asked for, end it and keep waking its read.
        while (!done.load()) {
            if (stop.stop_requested()) {
                fuse_exit(fs);
                ::pthread_kill(loop, SIGUSR1);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    fuse_loop(fs);
    done = true;
    watcher.join();
    fuse_unmount(fs);
    fuse_destroy(fs);
    fuse_opt_free_args(&args);
    return 0;
}

} // namespace kestrow
