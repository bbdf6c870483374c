#include "export/file_export.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <thread>

#include "archive/ipod_backup.h"
#include "export/export_path.h"
#include "platform/output_tree.h"
#include "platform/paths.h"

namespace kestrow {

namespace {

struct TTarget {
    std::string Folder; // relative to the destination, no trailing "/"
    std::string Name;
};

std::string TargetPath(const std::string& dest, const TTarget& target) {
    return dest + (target.Folder.empty() ? "" : target.Folder + "/") + target.Name;
}

// The flat names of every file, given in table order before the workers start (so they do not
// depend on which worker comes first); empty for a key without a usable last component.
std::vector<std::string> FlatNamesOf(const TFileTable& files, int folderFd) {
    TFlatNames names(folderFd);
    std::vector<std::string> result;
    result.reserve(files.Size());
    for (const auto& [key, file] : files) {
        const std::string name = LastPathComponent(key);
        result.push_back(IsSafeRelativePath(name) ? names.Next(name) : std::string());
    }
    return result;
}

std::string DomainPathOf(const TFileTable::TEntry& entry) {
    return std::string(entry.second.Domain) + "/" + std::string(RelativePathOf(entry));
}

// What the workers share; everything but the counters and the failure list is read-only.
class TExportRun {
public:
    TExportRun(TIpodBackup& session, std::string dest, const TFileExportOptions& options, TOutputTree& tree)
        : FFiles(session.Files()), FAccess(session.FileAccess()), FDest(std::move(dest)), FOptions(options),
          FTree(tree) {}

    void UseFlatNames(std::vector<std::string> names) { FFlatNames = std::move(names); }

    void Work() {
        for (;;) {
            if (FOptions.Stop.stop_requested()) {
                FStopped = true;
                return;
            }
            const std::size_t index = FNext.fetch_add(1);
            if (index >= FFiles.Size()) {
                return;
            }
            if (!ExportOne(index)) {
                FStopped = true;
                return;
            }
        }
    }

    void Finish(TFileExportResult& result) {
        std::sort(FFailures.begin(), FFailures.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [index, failure] : FFailures) {
            result.Failures.push_back(std::move(failure));
        }
        result.Exported = FExported;
        result.Bytes = FBytes;
        result.Stopped = FStopped;
    }

private:
    int TargetOf(std::size_t index, const std::string& key, TTarget& target) const {
        if (!FFlatNames.empty()) {
            target = {"", FFlatNames[index].empty() ? LastPathComponent(key) : FFlatNames[index]};
            return FFlatNames[index].empty() ? EINVAL : 0;
        }
        const std::string path = FOptions.Domains ? DomainPathOf(FFiles.At(index)) : key;
        target = {WithoutTrailingSlash(ParentFolder(path)), LastPathComponent(path)};
        return IsSafeRelativePath(path) ? 0 : EINVAL; // names come from the backup's manifest
    }

    // False when the file was cut short by a stop request.
    bool ExportOne(std::size_t index) {
        const auto& [key, file] = FFiles.At(index);
        TTarget target;
        std::uint64_t written = 0;
        int err = TargetOf(index, key, target);
        if (err == 0) {
            const TOutputTree::TFolder folder = FTree.Folder(target.Folder, err);
            if (folder) {
                err = FAccess.CopyTo(file, folder->Fd(), target.Name, TPublishMode::NoReplace, FOptions.Stop,
                                     written, FOptions.KeepTimes);
            }
        }
        if (err == ECANCELED && FOptions.Stop.stop_requested()) {
            return false;
        }
        if (err == 0) {
            ++FExported;
            FBytes += written;
        } else {
            std::lock_guard lock(FFailureMutex);
            FFailures.emplace_back(index, TFileExportFailure{key, TargetPath(FDest, target), err});
        }
        Report(written);
        return true;
    }

    void Report(std::uint64_t written) {
        if (FOptions.Progress) {
            std::lock_guard lock(FProgressMutex);
            FReportedBytes += written;
            FOptions.Progress(++FDone, FFiles.Size(), FReportedBytes);
        }
    }

    const TFileTable& FFiles;
    const TBackupFileAccess& FAccess;
    const std::string FDest;
    const TFileExportOptions& FOptions;
    TOutputTree& FTree;
    std::vector<std::string> FFlatNames;
    std::atomic<std::size_t> FNext{0};
    std::atomic<std::size_t> FExported{0};
    std::atomic<std::uint64_t> FBytes{0};
    std::atomic<bool> FStopped{false};
    std::mutex FFailureMutex;
    std::vector<std::pair<std::size_t, TFileExportFailure>> FFailures;
    std::mutex FProgressMutex;
    std::size_t FDone = 0;
    std::uint64_t FReportedBytes = 0;
};

unsigned WorkerCount(unsigned requested, std::size_t files) {
    const unsigned wanted = requested != 0 ? requested : std::max(2u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::clamp<std::size_t>(files, 1, wanted));
}

} // namespace

TFileExportResult ExportAllFiles(TIpodBackup& session, const std::string& destFolder,
                                 const TFileExportOptions& options) {
    TFileExportResult result;
    const std::string dest = WithTrailingSlash(destFolder);
    result.Total = session.Files().Size();
    TOutputTree tree;
    int err = session.CheckDestination(dest);
    if (err == 0) {
        err = tree.Open(dest);
    }
    if (err != 0) {
        result.Failures.push_back({"", dest, err});
        return result;
    }
    TExportRun run(session, dest, options, tree);
    if (options.Flat) {
        run.UseFlatNames(FlatNamesOf(session.Files(), tree.Folder("", err)->Fd()));
    }
    std::vector<std::jthread> workers;
    const unsigned count = WorkerCount(options.Jobs, result.Total);
    for (unsigned i = 1; i < count; ++i) {
        workers.emplace_back([&run] { run.Work(); });
    }
    run.Work();
    workers.clear(); // joins
    run.Finish(result);
    for (const TFileExportFailure& failure : result.Failures) {
        session.ReportCopyFailure(failure.Target, failure.Error); // the log in table order
    }
    return result;
}

TFileExportResult ExportAllFiles(TIpodBackup& session, const std::string& destFolder, bool flat,
                                 const TExportProgress& progress, const std::stop_token& stop) {
    TFileExportOptions options;
    options.Flat = flat;
    options.Progress = progress;
    options.Stop = stop;
    return ExportAllFiles(session, destFolder, options);
}

} // namespace kestrow
