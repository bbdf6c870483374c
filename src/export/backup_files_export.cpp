#include "export/backup_files_export.h"

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/paths.h"

namespace kestrow {

namespace {

enum : int { kFlat = 0, kFullPath = 1 };

} // namespace

std::string FlatExportPath(const std::string& key, const std::string& folder, TExportNames& names) {
    const std::string name = LastPathComponent(key);
    const std::string extension = ExtensionOf(name);
    const std::string stem = extension.empty() ? name : name.substr(0, name.size() - extension.size() - 1);
    return names.Path(stem, extension.empty() ? "" : "." + extension, folder);
}

TExportResult ExportBackupFiles(TIpodBackup& session, const std::vector<std::string>& keys, int format,
                                const std::string& dest, const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    if (keys.empty() || (format != kFlat && format != kFullPath)) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    std::size_t done = 0;
    TExportNames names;
    for (const std::string& key : keys) {
        const std::string target = format == kFlat ? FlatExportPath(key, folder, names) : folder + key;
        // Keeping folders, the session writes at the folder of its target + the key: given the
        // destination itself, the file lands at destination + key (not destination + key + key).
        if (session.ExportBackupFile(key, format == kFullPath ? folder : target, format == kFullPath)) {
            ++result.Count;
        } else {
            result.Failures.push_back({target, session.LastCopyError()});
        }
        if (!ExportStep(control, ++done, keys.size(), result)) {
            break;
        }
    }
    return result;
}

} // namespace kestrow
