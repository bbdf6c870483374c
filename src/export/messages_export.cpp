#include "export/messages_export.h"

#include <cerrno>
#include <sys/stat.h>
#include <unordered_set>

#include "archive/ipod_backup.h"
#include "export/chat_page.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "export/web_archive.h"
#include "platform/paths.h"
#include "readers/short_message.h"

namespace kestrow {

namespace {

enum : int { kHtml = 0, kWebArchive = 1, kText = 2 };

// Returns 0 or errno; failures of attachments are added to the result.
int WritePage(TIpodBackup& session, const TMsgGroup& group, const std::string& pagePath,
              const std::string& partsFolder, const std::string& linkPrefix, const std::string& exportedAt,
              TExportResult& result) {
    // The parts first, so that the page links only the files that were written.
    std::unordered_set<std::string> written;
    for (const TMsgItem& item : group.Items) {
        std::vector<TExportFailure> failures;
        std::vector<std::string> names;
        session.CopyMessageParts(partsFolder, item, &names, &failures);
        written.insert(names.begin(), names.end());
        result.Failures.insert(result.Failures.end(), failures.begin(), failures.end());
    }
    TChatPageOptions options;
    options.ForExport = true;
    options.LinkPrefix = linkPrefix;
    options.ExportedAt = exportedAt;
    options.ExportedPart = [&written](const TMsgPiece& piece) -> std::optional<std::string> {
        std::string name = ExportPartName(piece);
        return written.count(name) != 0 ? std::optional(std::move(name)) : std::nullopt;
    };
    return WriteNewFile(pagePath, std::string(kUtf8Bom) + BuildChatPage(group, options));
}

int ExportHtml(TIpodBackup& session, const TMsgGroup& group, const std::string& dest,
               const std::string& exportedAt, TExportResult& result, std::string& page) {
    page = MakeExportPath(group.DisplayName, ".html", dest, "_files");
    const std::string parts = page.substr(0, page.size() - 5) + "_files";
    return WritePage(session, group, page, parts, LastPathComponent(parts) + "/", exportedAt, result);
}

int ExportWebArchive(TIpodBackup& session, const TMsgGroup& group, const std::string& dest,
                     const std::string& exportedAt, TExportResult& result, std::string& target) {
    const std::string folder = MakeExportPath(group.DisplayName, "", dest, ".mht");
    target = folder + ".mht";
    if (::mkdir(folder.c_str(), 0777) != 0) { // a new folder: nothing that was there is emptied
        return errno;
    }
    const int err = WritePage(session, group, folder + "/index.html", folder, "", exportedAt, result);
    return err != 0 ? err : ConvertFolderToWebArchive(folder, true, &target);
}

int ExportText(const TMsgGroup& group, const std::string& dest, std::string& target) {
    std::string text(kUtf8Bom);
    if (group.IsGroupChat) {
        text += "Group: " + GroupLine(group) + "\r\n\r\n";
    }
    text += group.AsText();
    target = MakeExportPath(group.DisplayName, ".txt", dest);
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
    for (const int row : rows) {
        const TMsgGroup& group = messages->Groups(row);
        std::string target;
        const int err = format == kHtml ? ExportHtml(session, group, folder, exportedAt, result, target)
                        : format == kWebArchive
                            ? ExportWebArchive(session, group, folder, exportedAt, result, target)
                            : ExportText(group, folder, target);
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
