#include "export/messages_export.h"

#include <cerrno>
#include <sys/stat.h>

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
    TChatPageOptions options;
    options.ForExport = true;
    options.LinkPrefix = linkPrefix;
    options.ExportedAt = exportedAt;
    const std::string page = BuildChatPage(group, options);
    for (const TMsgItem& item : group.Items) {
        std::vector<TExportFailure> failures;
        session.CopyMessageParts(partsFolder, item, nullptr, &failures);
        result.Failures.insert(result.Failures.end(), failures.begin(), failures.end());
    }
    return WriteNewFile(pagePath, std::string(kUtf8Bom) + page);
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
        text += "Group: " + group.Addresses + "\r\n\r\n";
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
