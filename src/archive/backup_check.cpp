#include "archive/backup_check.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>
#include <unordered_set>

#include "archive/ipod_backup.h"
#include "archive/plist.h"
#include "archive/plist_xml.h"
#include "crypto/cbc_range.h"
#include "crypto/digest.h"
#include "crypto/file_decrypt.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace kestrow {

namespace {

constexpr std::size_t kChunkBlocks = 65536; // 1 MiB read at a time
constexpr std::uint8_t kNoProblem = 0xFF;

using TProblemCode = std::uint8_t;

TProblemCode Code(TCheckProblem problem) {
    return static_cast<TProblemCode>(problem);
}

// One worker's cipher and buffer.
struct TCheckWork {
    TCbcRangeDecryptor Cipher;
    std::vector<std::uint8_t> Buffer = std::vector<std::uint8_t>(kChunkBlocks * kAesBlock);
};

// Reads a protected file whole: padding, then the recorded digest of the plain bytes.
TProblemCode CheckDecryption(const TBackupFile& file, int fd, std::int64_t size, TCheckWork& work,
                             const std::stop_token& stop) {
    if (!work.Cipher.Init(file.Key)) {
        return Code(TCheckProblem::Key);
    }
    TSha1Stream digest;
    const std::int64_t blocks = size / static_cast<std::int64_t>(kAesBlock);
    bool paddingValid = false;
    for (std::int64_t first = 0; first < blocks && !stop.stop_requested();) {
        const auto count = static_cast<std::size_t>(std::min<std::int64_t>(kChunkBlocks, blocks - first));
        if (work.Cipher.Decrypt(fd, first, count, work.Buffer.data()) != 0) {
            return Code(TCheckProblem::Missing); // it can no longer be read
        }
        first += static_cast<std::int64_t>(count);
        std::size_t plain = count * kAesBlock;
        if (first == blocks) {
            const std::uint8_t* last = work.Buffer.data() + plain - kAesBlock;
            paddingValid = PaddingLength(last) != 0;
            plain = plain - kAesBlock + PlainBytesOfLastBlock(last, size, file.Size);
        }
        digest.Update(work.Buffer.data(), plain);
    }
    if (!paddingValid) {
        return stop.stop_requested() ? kNoProblem : Code(TCheckProblem::Padding);
    }
    return file.Digest.empty() || digest.Final() == file.Digest ? kNoProblem : Code(TCheckProblem::Digest);
}

TProblemCode CheckPlainDigest(const TBackupFile& file, int fd, TCheckWork& work,
                              const std::stop_token& stop) {
    TSha1Stream digest;
    for (std::int64_t offset = 0; !stop.stop_requested();) {
        const ssize_t got = ::pread(fd, work.Buffer.data(), work.Buffer.size(), offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return Code(TCheckProblem::Missing);
        }
        if (got == 0) {
            break;
        }
        digest.Update(work.Buffer.data(), static_cast<std::size_t>(got));
        offset += got;
    }
    return stop.stop_requested() || digest.Final() == file.Digest ? kNoProblem : Code(TCheckProblem::Digest);
}

TProblemCode CheckFile(const TBackupFileAccess& access, const TBackupFile& file, bool deep, TCheckWork& work,
                       const std::stop_token& stop) {
    TFileHandle content;
    std::int64_t size = 0;
    // Without reading, a file's status is all there is to check: no opening.
    if ((deep ? access.OpenContent(file, content, size) : access.StatContent(file, size)) != 0) {
        return Code(TCheckProblem::Missing);
    }
    if (file.Key.empty()) {
        if (size != file.Size) {
            return Code(TCheckProblem::Size);
        }
        return deep && !file.Digest.empty() ? CheckPlainDigest(file, content.Fd(), work, stop) : kNoProblem;
    }
    if (size == 0 || size % static_cast<std::int64_t>(kAesBlock) != 0) {
        return Code(TCheckProblem::Size);
    }
    return deep ? CheckDecryption(file, content.Fd(), size, work, stop) : kNoProblem;
}

bool IsHexName(std::string_view name, std::size_t length) {
    return name.size() == length && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The names in a folder (no "." or ".."), sorted; nothing when it cannot be opened.
std::vector<std::string> FolderNames(int parentFd, const char* name) {
    std::vector<std::string> names;
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (dir == nullptr) {
        if (fd >= 0) {
            ::close(fd);
        }
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName(entry->d_name);
        if (entryName != "." && entryName != "..") {
            names.emplace_back(entryName);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Content files no record names: in the current layout anything in the 256 "xx" folders; in
// Manifest.mbdb backups the 40-digit names; in the oldest layout ".mddata" and ".mdinfo" files.
void FindUnlisted(const std::string& folder, const TFileTable& files, std::vector<TCheckFinding>& found) {
    // Views into the table's names; only the ".mdinfo" companions are made here.
    std::unordered_set<std::string_view> named;
    std::deque<std::string> companions;
    named.reserve(files.Size() + files.LeftOut().size() + files.Shadowed().size());
    const auto name = [&](const std::string& fileName) {
        named.insert(fileName);
        if (fileName.ends_with(".mddata")) {
            named.insert(companions.emplace_back(fileName.substr(0, fileName.size() - 7) + ".mdinfo"));
        }
    };
    for (const auto& [key, file] : files) {
        name(file.FileName);
    }
    for (const auto& [key, file] : files.LeftOut()) {
        name(file.FileName);
    }
    for (const std::string& fileName : files.Shadowed()) {
        name(fileName);
    }
    const TFileHandle root(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.IsOpen()) {
        return;
    }
    const auto report = [&](const std::string& fileName) {
        if (!named.contains(fileName)) {
            found.push_back({fileName, TCheckProblem::Unlisted});
        }
    };
    if (PathExists(folder + "Manifest.db")) {
        for (const std::string& shard : FolderNames(root.Fd(), ".")) {
            if (IsHexName(shard, 2)) {
                for (const std::string& entry : FolderNames(root.Fd(), shard.c_str())) {
                    report(shard + "/" + entry);
                }
            }
        }
        return;
    }
    const bool mbdb = PathExists(folder + "Manifest.mbdb");
    for (const std::string& entry : FolderNames(root.Fd(), ".")) {
        if (mbdb ? IsHexName(entry, 40) : entry.ends_with(".mddata") || entry.ends_with(".mdinfo")) {
            report(entry);
        }
    }
}

bool IsReadablePlist(const std::string& path, const std::string& workFile) {
    const std::string xml = PlistToXml(path, workFile, true);
    TPlistDocument doc;
    return !xml.empty() && doc.Load(xml) && doc.TopDict();
}

} // namespace

const char* CheckProblemName(TCheckProblem problem) {
    static constexpr const char* kNames[kCheckProblemKinds] = {"missing", "size",   "padding",
                                                               "key",     "digest", "unlisted"};
    return kNames[static_cast<int>(problem)];
}

TBackupRunStatus ReadRunStatus(const std::string& folder, const std::string& workFile) {
    TBackupRunStatus status;
    const std::string path = FindNameNoCase(folder, "status.plist");
    const std::string xml = PathExists(path) ? PlistToXml(path, workFile, true) : std::string();
    TPlistDocument doc;
    if (xml.empty() || !doc.Load(xml) || !doc.TopDict()) {
        status.Present = PathExists(path); // there but unreadable: not a finished run
        return status;
    }
    status.Present = true;
    const pugi::xml_node dict = doc.TopDict();
    status.SnapshotState = NodeText(FindDictValue(dict, "SnapshotState", true));
    if (const pugi::xml_node full = FindDictValue(dict, "IsFullBackup", true)) {
        status.IsFullBackup = NodeName(full) == "true";
    }
    status.Date = NodeText(FindDictValue(dict, "Date", true));
    status.Version = NodeText(FindDictValue(dict, "Version", true));
    return status;
}

TCheckResult TBackupCheck::Run(bool deep, const TCheckProgress& progress, const std::stop_token& stop,
                               unsigned jobs) {
    TCheckResult result;
    const int index = FSession.CurrentIndex();
    if (index < 0) {
        return result;
    }
    const std::string folder = FSession.Backups()[static_cast<std::size_t>(index)].Path;
    const std::string workFile = FSession.TempFile() + ".check";
    result.Status = ReadRunStatus(folder, workFile);
    result.InfoReadable = IsReadablePlist(FindNameNoCase(folder, "info.plist"), workFile);

    const TFileTable& files = FSession.Files();
    const TBackupFileAccess& access = FSession.FileAccess();
    std::vector<TProblemCode> codes(files.Size(), kNoProblem);
    std::atomic<std::size_t> next{0};
    std::mutex progressMutex;
    std::size_t done = 0;
    const auto work = [&] {
        TCheckWork checkWork;
        for (std::size_t i = next++; i < files.Size() && !stop.stop_requested(); i = next++) {
            codes[i] = CheckFile(access, files.At(i).second, deep, checkWork, stop);
            if (progress) {
                std::lock_guard lock(progressMutex);
                progress(++done, files.Size());
            }
        }
    };
    const unsigned wanted = jobs != 0 ? jobs : std::max(2u, std::thread::hardware_concurrency());
    {
        std::vector<std::jthread> workers;
        for (unsigned i = 1; i < std::min<std::size_t>(wanted, files.Size()); ++i) {
            workers.emplace_back(work);
        }
        work();
    }
    result.Stopped = stop.stop_requested();
    result.Files = files.Size() + files.LeftOut().size();
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] != kNoProblem) {
            result.Problems.push_back({files.At(i).first, static_cast<TCheckProblem>(codes[i])});
        }
    }
    for (const auto& [key, file] : files.LeftOut()) {
        result.Problems.push_back({key, TCheckProblem::Key});
    }
    FindUnlisted(folder, files, result.Problems);
    return result;
}

} // namespace kestrow
