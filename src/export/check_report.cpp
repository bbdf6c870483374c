#include "export/check_report.h"

#include <array>

#include <fmt/format.h>

namespace kestrow {

std::string CheckReportText(const TCheckResult& result,
                            const std::function<std::string(std::string_view)>& escape) {
    const TBackupRunStatus& status = result.Status;
    std::string text;
    if (status.Present) {
        text += "Snapshot state: " + escape(status.SnapshotState) + "\n";
        if (status.IsFullBackup) {
            text += std::string("Full backup: ") + (*status.IsFullBackup ? "yes" : "no") + "\n";
        }
        text += "Date: " + escape(status.Date) + "\nVersion: " + escape(status.Version) + "\n";
    } else {
        text += "Snapshot state: (no Status.plist)\n";
    }
    if (!result.Complete()) {
        text += "The last backup run did not complete.\n";
    }
    if (!result.InfoReadable) {
        text += "Info.plist is missing or cannot be read.\n";
    }
    text += fmt::format("{} files\n", result.Files);
    std::array<std::size_t, kCheckProblemKinds> counts{};
    for (const TCheckFinding& finding : result.Problems) {
        ++counts[static_cast<std::size_t>(finding.Problem)];
    }
    for (std::size_t kind = 0; kind < counts.size(); ++kind) {
        if (counts[kind] != 0) {
            text += fmt::format("{}: {}\n", CheckProblemName(static_cast<TCheckProblem>(kind)), counts[kind]);
        }
    }
    for (const TCheckFinding& finding : result.Problems) {
        text += escape(finding.Key) + "\t" + CheckProblemName(finding.Problem) + "\n";
    }
    if (result.Whole()) {
        text += "The backup is whole.\n";
    }
    return text;
}

} // namespace kestrow
