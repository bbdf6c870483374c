#include "export/messages_export.h"

#include <cerrno>
#include <sys/stat.h>
#include <unordered_map>

#include "archive/ipod_backup.h"
#include "export/chat_page.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "export/web_archive.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/heif_picture.h"
#include "readers/short_message.h"

namespace kestrow {

namespace {

enum : int { kHtml = 0, kWebArchive = 1, kText = 2 };

bool IsHeifName(const std::string& name) {
    const std::string extension = ExtensionOf(name);
    return SameTextAscii(extension, "heic") || SameTextAscii(extension, "heif");
}

// A HEIC/HEIF picture written beside a page gets a JPEG copy, which browsers show ("12.heic" ->
// "12.jpg"; the original stays). The copy's name, or the original's when it cannot be made.
std::string ShownCopy(const std::string& folder, const std::string& name, TExportResult& result) {
    if (!IsHeifName(name)) {
        return name;
    }
    std::string heif;
    std::string error;
    const std::string jpegName = name.substr(0, name.rfind('.')) + ".jpg";
    const std::string target = WithTrailingSlash(folder) + jpegName;
    std::optional<std::string> jpeg;
    if (ReadWholeFile(WithTrailingSlash(folder) + name, heif)) {
        jpeg = HeifToJpeg(heif, 0, error);
    }
    if (!jpeg) {
        return name; // linked as it is, named as a picture that cannot be shown
    }
    if (const int err = WriteNewFile(target, *jpeg); err != 0) {
        result.Failures.push_back({target, err});
        return name;
    }
    return jpegName;
}

// Returns 0 or errno; failures of attachments are added to the result.
int WritePage(TIpodBackup& session, const TMsgGroup& group, const std::string& pagePath,
              const std::string& partsFolder, const std::string& linkPrefix, const std::string& exportedAt,
              TExportResult& result) {
    // The parts first, so that the page links only the files that were written.
    std::unordered_map<std::string, std::string> written; // part file -> the file the page shows
    const auto copy = [&](const std::vector<TMsgPiece>& pieces) {
        std::vector<TExportFailure> failures;
        std::vector<std::string> names;
        session.CopyMessageParts(partsFolder, pieces, &names, &failures);
        for (const std::string& name : names) {
            written.emplace(name, ShownCopy(partsFolder, name, result));
        }
        result.Failures.insert(result.Failures.end(), failures.begin(), failures.end());
    };
    for (const TMsgItem& item : group.Items) {
        copy(item.Pieces);
        for (const TMsgReaction& reaction : item.Reactions) {
            copy(reaction.Pieces); // a sticker's picture
        }
    }
    TChatPageOptions options;
    options.ForExport = true;
    options.LinkPrefix = linkPrefix;
    options.ExportedAt = exportedAt;
    options.ExportedPart = [&written](const TMsgPiece& piece) -> std::optional<std::string> {
        const auto found = written.find(ExportPartName(piece));
        return found != written.end() ? std::optional(found->second) : std::nullopt;
    };
    return WriteNewFile(pagePath, std::string(kUtf8Bom) + BuildChatPage(group, options));
}

int ExportHtml(TIpodBackup& session, const TMsgGroup& group, const std::string& dest,
               const std::string& exportedAt, TExportNames& names, TExportResult& result, std::string& page) {
    page = names.Path(group.DisplayName, ".html", dest, "_files");
    const std::string parts = page.substr(0, page.size() - 5) + "_files";
    return WritePage(session, group, page, parts, LastPathComponent(parts) + "/", exportedAt, result);
}

int ExportWebArchive(TIpodBackup& session, const TMsgGroup& group, const std::string& dest,
                     const std::string& exportedAt, TExportNames& names, TExportResult& result,
                     std::string& target) {
    const std::string folder = names.Path(group.DisplayName, "", dest, ".mht");
    target = folder + ".mht";
    if (::mkdir(folder.c_str(), 0777) != 0) { // a new folder: nothing that was there is emptied
        return errno;
    }
    int err = WritePage(session, group, folder + "/index.html", folder, "", exportedAt, result);
    if (err == 0) {
        err = ConvertFolderToWebArchive(folder, true, &target);
    }
    if (err != 0) {
        DeleteFolderFiles(folder); // the working folder is ours alone: nothing of it stays
    }
    return err;
}

int ExportText(const TMsgGroup& group, const std::string& dest, TExportNames& names, std::string& target) {
    std::string text(kUtf8Bom);
    if (group.IsGroupChat) {
        text += "Group: " + GroupLine(group) + "\r\n\r\n";
    }
    text += group.AsText();
    target = names.Path(group.DisplayName, ".txt", dest);
    return WriteNewFile(target, text);
}

} // namespace

std::vector<int> ListedConversations(const TShortMessage& messages) {
    std::vector<int> rows;
    for (int i = 0; i < messages.GroupCount(); ++i) {
        if (messages.Groups(i).ItemCount() > 0) {
            rows.push_back(i);
        }
    }
    return rows;
}

TExportResult ExportMessages(TIpodBackup& session, const std::vector<int>& rows, int format,
                             const std::string& dest, const std::string& exportedAt,
                             const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    TShortMessage* messages = session.LoadMessages();
    if (messages == nullptr || rows.empty() || format < kHtml || format > kText) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    session.ResolveMessageNames();
    std::size_t done = 0;
    TExportNames names;
    for (const int row : rows) {
        const TMsgGroup& group = messages->Groups(row);
        std::string target;
        const int err = format == kHtml
                            ? ExportHtml(session, group, folder, exportedAt, names, result, target)
                        : format == kWebArchive
                            ? ExportWebArchive(session, group, folder, exportedAt, names, result, target)
                            : ExportText(group, folder, names, target);
        if (err == 0) {
            ++result.Count;
        } else {
            result.Failures.push_back({target, err});
        }
        if (!ExportStep(control, ++done, rows.size(), result)) {
            break;
        }
    }
    if (format != kText) {
        messages->CloseDatabase();
    }
    return result;
}

} // namespace kestrow
