#include "export/calls_export.h"

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/call_log.h"

namespace kestrow {

namespace {

enum : int { kText = 0, kCsv = 1 };

bool IsDialed(int kind) {
    return kind == ckOutgoing || kind == ckFaceTimeOut;
}
bool IsMissed(int kind) {
    return kind == ckMissed || kind == ckFaceTimeMissed;
}
bool IsFaceTime(int kind) {
    return kind == ckFaceTimeIn || kind == ckFaceTimeOut || kind == ckFaceTimeMissed;
}

std::string Yes(bool value) {
    return value ? "Yes" : "";
}

// One line: in CSV every field that needs it is quoted and the name always is, inner quotes
// doubled, so that a comma in a name or number never shifts a column.
std::string CallLine(const TCallItem& call, bool csv) {
    const std::vector<std::string> fields = {DateTimeText(call.Date),
                                             Yes(IsDialed(call.CallKind)),
                                             Yes(IsMissed(call.CallKind)),
                                             Yes(IsFaceTime(call.CallKind)),
                                             call.DurationText,
                                             call.Address};
    std::string line;
    for (const std::string& field : fields) {
        line += (csv ? CsvField(field) : field) + (csv ? "," : " ");
    }
    return line + (csv ? CsvQuoted(call.DisplayName) : "\"" + call.DisplayName + "\"") + "\r\n";
}

} // namespace

TExportResult ExportCalls(TIpodBackup& session, const std::vector<int>& rows, int format,
                          const std::string& dest, const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    const TCallLog* log = session.LoadCallLog();
    if (log == nullptr || rows.empty() || (format != kText && format != kCsv)) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    session.ResolveCallNames();
    const bool csv = format == kCsv;
    std::string text = std::string(kUtf8Bom) + (csv ? "Date,Dial,Missed,Facetime,Duration,Number,Name\r\n"
                                                    : "Date Dial Missed Facetime Duration Number Name\r\n");
    int lines = 0;
    for (const int row : rows) {
        text += CallLine(log->List().at(static_cast<std::size_t>(row)), csv);
        ++lines;
        if (control.Stop.stop_requested()) {
            result.Stopped = lines < static_cast<int>(rows.size());
            break;
        }
    }
    const std::string path =
        MakeExportPath(session.CurrentDeviceName() + "_CallHistory", csv ? ".csv" : ".txt", folder);
    WriteExportFile(result, path, text, lines);
    return result;
}

} // namespace kestrow
