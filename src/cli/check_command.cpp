#include "cli/check_command.h"

#include <iostream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "archive/backup_check.h"
#include "cli/display_text.h"
#include "cli/progress_line.h"
#include "cli/stop_signals.h"
#include "export/check_report.h"

namespace kestrow {

namespace {

void PrintJson(const TCheckResult& result) {
    nlohmann::ordered_json problems = nlohmann::ordered_json::array();
    for (const TCheckFinding& finding : result.Problems) {
        problems.push_back({{"key", JsonText(finding.Key)}, {"problem", CheckProblemName(finding.Problem)}});
    }
    const TBackupRunStatus& status = result.Status;
    nlohmann::ordered_json out = {
        {"snapshotState", status.Present ? nlohmann::ordered_json(JsonText(status.SnapshotState)) : nullptr},
        {"complete", result.Complete()},
        {"isFullBackup", status.IsFullBackup ? nlohmann::ordered_json(*status.IsFullBackup) : nullptr},
        {"date", status.Present ? nlohmann::ordered_json(JsonText(status.Date)) : nullptr},
        {"version", status.Present ? nlohmann::ordered_json(JsonText(status.Version)) : nullptr},
        {"infoPlist", result.InfoReadable},
        {"files", result.Files},
        {"problems", std::move(problems)}};
    std::cout << out.dump(2, ' ', false, nlohmann::json::error_handler_t::strict) << '\n';
}

} // namespace

int RunCheck(const TCliOptions& options, int index, bool deep, bool json) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TProgressLine progress("files checked");
    const TCheckResult result =
        TBackupCheck(*opened.Session)
            .Run(
                deep, [&](std::size_t done, std::size_t total) { progress.Show(done, total, 0); },
                TStopSignals::Token());
    progress.Finish();
    if (result.Stopped) {
        return TStopSignals::ExitCode() != 0 ? TStopSignals::ExitCode() : kExitFailure;
    }
    if (json) {
        PrintJson(result);
    } else {
        std::cout << CheckReportText(result, [](std::string_view text) { return EscapeText(text); });
    }
    return result.Whole() ? 0 : kExitProblemsFound;
}

} // namespace kestrow
