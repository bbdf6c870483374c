#include "export/file_export.h"

#include <cerrno>

#include "archive/ipod_backup.h"
#include "export/export_path.h"
#include "platform/paths.h"

namespace kestrow {

namespace {

// Returns 0 or the errno of the failure.
int ExportOne(TIpodBackup& session, const std::string& key, const std::string& folder, bool flat,
              std::string& target) {
    if (flat) {
        const std::string name = LastPathComponent(key);
        if (!IsSafeRelativePath(name)) {
            target = folder + name;
            session.ReportCopyFailure(target, EINVAL);
            return EINVAL;
        }
        target = UniqueExportPath(folder, name);
        return session.ExportBackupFile(key, target, false) ? 0 : session.LastCopyError();
    }
    target = folder + key;
    return session.ExportBackupFile(key, folder, true) ? 0 : session.LastCopyError();
}

} // namespace

TFileExportResult ExportAllFiles(TIpodBackup& session, const std::string& destFolder, bool flat,
                                 const TExportProgress& progress) {
    TFileExportResult result;
    const std::string folder = WithTrailingSlash(destFolder);
    result.Total = session.Files().Size();
    if (!session.IsOutsideBackup(folder)) {
        result.Failures.push_back({"", folder, EACCES});
        return result;
    }
    if (const int err = MakeFolders(folder); err != 0) {
        result.Failures.push_back({"", folder, err});
        return result;
    }
    std::size_t done = 0;
    for (const auto& [key, file] : session.Files()) {
        std::string target;
        const int err = ExportOne(session, key, folder, flat, target);
        if (err == 0) {
            ++result.Exported;
            const std::int64_t size = FileSizeOf(target);
            result.Bytes += size > 0 ? static_cast<std::uint64_t>(size) : 0;
        } else {
            result.Failures.push_back({key, target, err});
        }
        if (progress) {
            progress(++done, result.Total, result.Bytes);
        }
    }
    return result;
}

} // namespace kestrow
