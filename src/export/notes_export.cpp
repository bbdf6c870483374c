#include "export/notes_export.h"

#include <cerrno>
#include <sys/stat.h>

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "export/html_text.h"
#include "export/note_media.h"
#include "export/note_page.h"
#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/notes.h"

namespace kestrow {

namespace {

enum : int { kText = 0, kHtml = 1 };

bool IsShut(const TNoteItem& note) {
    return note.Lock == TNoteLock::Locked || note.Lock == TNoteLock::Passcode ||
           note.Lock == TNoteLock::Damaged;
}

// One note as a page; its attachments' files copied into the "_files" folder as 1.jpg, 2.pdf, ...
int WritePage(TIpodBackup& session, const TNoteMedia& media, const TNoteItem& note, const std::string& dest,
              TExportResult& result, std::string& page) {
    page = MakeExportPath(note.Title, ".html", dest, "_files");
    const std::string files = page.substr(0, page.size() - 5) + "_files";
    const std::string link = LastPathComponent(files) + "/";
    bool folderMade = false;
    const auto source = [&](const TNoteAttachment& attachment, std::size_t index) {
        TNoteAttachmentView view;
        const std::string key = media.KeyOf(note, attachment);
        if (key.empty()) {
            return view;
        }
        view.InBackup = true;
        const std::string extension = ExtensionOf(key);
        const std::string name = std::to_string(index + 1) + (extension.empty() ? "" : "." + extension);
        if (!folderMade) {
            folderMade = ::mkdir(files.c_str(), 0777) == 0;
            if (!folderMade) {
                result.Failures.push_back({files, errno});
                return view;
            }
        }
        if (!session.CopyBackupFile(key, files + "/" + name)) {
            result.Failures.push_back({files + "/" + name, session.LastCopyError()});
            return view;
        }
        const bool picture = attachment.Kind == TNoteAttachmentKind::Picture ||
                             attachment.Kind == TNoteAttachmentKind::Drawing ||
                             attachment.Kind == TNoteAttachmentKind::Scan;
        (picture ? view.Src : view.Href) = FileLink(link + name);
        return view;
    };
    return WriteNewFile(page, std::string(kUtf8Bom) + BuildNotePage(note, source));
}

} // namespace

TExportResult ExportNotes(TIpodBackup& session, const std::vector<int>& rows, int format,
                          const std::string& dest, const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    const TNotes* notes = session.LoadNotes();
    if (notes == nullptr || rows.empty() || format < kText || format > kHtml) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    std::string text(kUtf8Bom);
    const TNoteMedia media(session.Files());
    std::size_t done = 0;
    for (const int row : rows) {
        const TNoteItem& note = notes->Notes(row);
        if (format == kText) {
            text += "Note: " + DateTimeText(note.ModifiedDate) + "\r\n" +
                    (note.Folder.empty() ? "" : "Folder: " + note.Folder + "\r\n") + note.Title + "\r\n" +
                    notes->NoteText(row) + "\r\n\r\n";
        } else if (IsShut(note)) {
            result.Failures.push_back({note.Title + " (locked note)", EACCES});
        } else {
            std::string page;
            const int err = WritePage(session, media, note, folder, result, page);
            if (err == 0) {
                ++result.Count;
            } else {
                result.Failures.push_back({page, err});
            }
        }
        if (!ExportStep(control, ++done, rows.size(), result)) {
            break;
        }
    }
    if (format == kText) {
        const std::string path = MakeExportPath(session.CurrentDeviceName() + "_Notes", ".txt", folder);
        WriteExportFile(result, path, text, static_cast<int>(done));
    }
    return result;
}

} // namespace kestrow
