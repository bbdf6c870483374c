#include "export/voicemail_export.h"

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/voicemail.h"

namespace kestrow {

TExportResult ExportVoicemail(TIpodBackup& session, const std::vector<int>& rows, const std::string& dest,
                              const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    const TVoiceMail* voicemail = session.LoadVoiceMail();
    if (voicemail == nullptr || rows.empty()) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    session.ResolveVoiceMailNames();
    std::size_t done = 0;
    TExportNames names;
    for (const int row : rows) {
        const TVoiceMailItem& item = voicemail->Voicemails(row);
        // Without a contact name the caller's number names the file, without either "Unnamed".
        const std::string caller = !item.DisplayName.empty() ? item.DisplayName
                                   : !item.Sender.empty()    ? item.Sender
                                                             : std::string(kUnnamedExport);
        const std::string target = names.Path(caller + "~" + DateTimeText(item.Date), ".amr", folder);
        if (session.ExportBackupFile(item.AudioPath(), target, false)) {
            ++result.Count;
        } else {
            result.Failures.push_back({target, session.LastCopyError()});
        }
        if (!ExportStep(control, ++done, rows.size(), result)) {
            break;
        }
    }
    return result;
}

} // namespace kestrow
