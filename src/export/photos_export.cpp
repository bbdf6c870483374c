#include "export/photos_export.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

#include <fmt/format.h>

#include "archive/photo_library.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/heif_picture.h"

namespace kestrow {

namespace {

struct TNameParts {
    std::string Stem;
    std::string Extension; // with its dot
};

// A name from the library: the extension is kept only when it is letters and digits (the stem is
// cleaned by the export-name rule; an extension is not, so "x./y" must not become one).
TNameParts SplitName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == name.size() || name.size() - dot > 9 ||
        !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(dot) + 1, name.end(),
                     [](unsigned char c) { return std::isalnum(c) != 0; })) {
        return {name, ""};
    }
    return {name.substr(0, dot), name.substr(dot)};
}

bool IsHeifType(const std::string& type) {
    return type == "HEIC" || type == "HEIF" || type == "AVIF";
}

// The folder of an item: the chosen one, or its "YYYY/MM" (or "Undated") folder inside it.
std::string ItemFolder(const std::string& base, const TPhotoItem& item, bool byMonth) {
    if (!byMonth) {
        return base;
    }
    if (item.Date == 0) {
        return base + "Undated/";
    }
    const TCivilDateTime civil = CivilOf(item.Date);
    return base + fmt::format("{:04}/{:02}/", civil.Year, civil.Month);
}

void SetCaptureTime(const std::string& path, const TPhotoItem& item) {
    if (item.Date == 0) {
        return;
    }
    const timespec times[2] = {{item.UnixTime(), 0}, {item.UnixTime(), 0}};
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

class TPhotoExport {
public:
    TPhotoExport(TIpodBackup& session, int format, TExportResult& result)
        : FSession(session), FFormat(format), FResult(result) {}

    void Write(const TPhotoItem& item, const std::string& folder) {
        if (const int error = MakeFolders(folder); error != 0) {
            FResult.Failures.push_back({folder, error});
            return;
        }
        const TNameParts name = SplitName(item.OriginalName);
        if (!item.InBackup) {
            FResult.Failures.push_back({folder + item.OriginalName, ENOENT});
            return;
        }
        const std::string target = FFormat == 1 && IsHeifType(item.Type())
                                       ? WriteJpeg(item, name.Stem, folder)
                                       : Copy(item.Key, name, folder);
        if (target.empty()) {
            return;
        }
        ++FResult.Count;
        SetCaptureTime(target, item);
        if (FFormat == 0 && !item.LivePhotoKey.empty()) {
            // The video half under the name its picture got.
            const std::string stem = SplitName(LastPathComponent(target)).Stem;
            const std::string video =
                Copy(item.LivePhotoKey, {stem, "." + ExtensionOf(item.LivePhotoKey)}, folder);
            if (!video.empty()) {
                SetCaptureTime(video, item);
            }
        }
    }

private:
    std::string Copy(const std::string& key, const TNameParts& name, const std::string& folder) {
        const std::string target = MakeExportPath(name.Stem, name.Extension, folder);
        if (FSession.ExportBackupFile(key, target, false)) {
            return target;
        }
        FResult.Failures.push_back({target, FSession.LastCopyError()});
        return {};
    }

    std::string WriteJpeg(const TPhotoItem& item, const std::string& stem, const std::string& folder) {
        const std::string target = MakeExportPath(stem, ".jpg", folder);
        std::string data;
        if (!FSession.LoadBackupFile(item.Key, data)) {
            FResult.Failures.push_back({target, EIO});
            return {};
        }
        std::string error;
        const auto jpeg = HeifToJpeg(data, 0, error);
        if (!jpeg) {
            FSession.Log().Append(item.Key + ": " + error);
            FResult.Failures.push_back({target, EILSEQ});
            return {};
        }
        if (const int written = WriteNewFile(target, *jpeg); written != 0) {
            FResult.Failures.push_back({target, written});
            return {};
        }
        return target;
    }

    TIpodBackup& FSession;
    int FFormat;
    TExportResult& FResult;
};

} // namespace

TExportResult ExportPhotos(TIpodBackup& session, const std::vector<int>& rows, int format,
                           const std::string& dest, bool byMonth, const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    const TPhotos* photos = LoadPhotos(session);
    if (photos == nullptr || rows.empty()) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    TPhotoExport writer(session, format, result);
    std::size_t done = 0;
    for (const int row : rows) {
        const TPhotoItem& item = photos->Item(row);
        writer.Write(item, ItemFolder(folder, item, byMonth));
        if (!ExportStep(control, ++done, rows.size(), result)) {
            break;
        }
    }
    return result;
}

} // namespace kestrow
