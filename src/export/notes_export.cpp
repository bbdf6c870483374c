#include "export/notes_export.h"

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/notes.h"

namespace kestrow {

TExportResult ExportNotes(TIpodBackup& session, const std::vector<int>& rows, const std::string& dest,
                          const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    const TNotes* notes = session.LoadNotes();
    if (notes == nullptr || rows.empty()) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    std::string text(kUtf8Bom);
    std::size_t done = 0;
    for (const int row : rows) {
        const TNoteItem& note = notes->Notes(row);
        text += "Note: " + DateTimeText(note.ModifiedDate) + "\r\n" + note.Title + "\r\n" +
                notes->NoteText(row) + "\r\n\r\n";
        if (!ExportStep(control, ++done, rows.size(), result)) {
            break;
        }
    }
    const std::string path = MakeExportPath(session.CurrentDeviceName() + "_Notes", ".txt", folder);
    WriteExportFile(result, path, text, static_cast<int>(done));
    return result;
}

} // namespace kestrow
