#include "export/file_export.h"

#include <cerrno>
#include <optional>

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

// Where a file goes; EINVAL for a key that could leave the destination.
int TargetOf(const std::string& key, bool flat, std::optional<TFlatNames>& flatNames, TTarget& target) {
    if (flat) {
        const std::string name = LastPathComponent(key);
        if (!IsSafeRelativePath(name)) {
            target = {"", name};
            return EINVAL;
        }
        target = {"", flatNames->Next(name)};
        return 0;
    }
    target = {WithoutTrailingSlash(ParentFolder(key)), LastPathComponent(key)};
    return IsSafeRelativePath(key) ? 0 : EINVAL;
}

std::string TargetPath(const std::string& dest, const TTarget& target) {
    return dest + (target.Folder.empty() ? "" : target.Folder + "/") + target.Name;
}

} // namespace

TFileExportResult ExportAllFiles(TIpodBackup& session, const std::string& destFolder, bool flat,
                                 const TExportProgress& progress, const std::stop_token& stop) {
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
    std::optional<TFlatNames> flatNames;
    if (flat) {
        flatNames.emplace(tree.Folder("", err)->Fd());
    }
    const TBackupFileAccess& access = session.FileAccess();
    std::size_t done = 0;
    for (const auto& [key, file] : session.Files()) {
        if (stop.stop_requested()) {
            result.Stopped = true;
            break;
        }
        TTarget target;
        std::uint64_t written = 0;
        err = TargetOf(key, flat, flatNames, target);
        if (err == 0) {
            const TOutputTree::TFolder folder = tree.Folder(target.Folder, err);
            if (folder) {
                err = access.CopyTo(file, folder->Fd(), target.Name, TPublishMode::NoReplace, stop, written);
            }
        }
        if (err == ECANCELED && stop.stop_requested()) {
            result.Stopped = true;
            break;
        }
        if (err == 0) {
            ++result.Exported;
            result.Bytes += written;
        } else {
            result.Failures.push_back({key, TargetPath(dest, target), err});
            session.ReportCopyFailure(result.Failures.back().Target, err);
        }
        if (progress) {
            progress(++done, result.Total, result.Bytes);
        }
    }
    return result;
}

} // namespace kestrow
