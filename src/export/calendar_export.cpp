#include "export/calendar_export.h"

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/calendar.h"

namespace kestrow {

std::string EventText(const TCalendarItem& event) {
    std::string dates = DateTimeText(event.StartDate);
    if (event.AllDay) {
        dates += " (All day)";
    } else if (event.EndDate != 0) {
        dates += " ~ " + DateTimeText(event.EndDate);
    }
    return dates + " " + event.Location + ", " + event.Title + "\r\n" + event.Description;
}

TExportResult ExportCalendar(TIpodBackup& session, const std::vector<int>& rows, const std::string& dest,
                             const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    const TCalendar* calendar = session.LoadCalendar();
    if (calendar == nullptr || rows.empty()) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    std::string text(kUtf8Bom);
    int events = 0;
    for (const int row : rows) {
        text += EventText(calendar->Events(row)) + "\r\n\r\n";
        ++events;
        if (control.Stop.stop_requested()) {
            result.Stopped = events < static_cast<int>(rows.size());
            break;
        }
    }
    const std::string path = MakeExportPath(session.CurrentDeviceName() + "_Events", ".txt", folder);
    WriteExportFile(result, path, text, events);
    return result;
}

} // namespace kestrow
