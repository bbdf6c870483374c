#include "cli/check_command.h"

#include <array>
#include <iostream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "archive/backup_check.h"
#include "cli/display_text.h"
#include "cli/progress_line.h"
#include "cli/stop_signals.h"

namespace kestrow {

namespace {

void PrintText(const TCheckResult& result) {
    const TBackupRunStatus& status = result.Status;
    if (status.Present) {
        std::cout << "Snapshot state: " << EscapeText(status.SnapshotState) << '\n';
        if (status.IsFullBackup) {
            std::cout << "Full backup: " << (*status.IsFullBackup ? "yes" : "no") << '\n';
        }
        std::cout << "Date: " << EscapeText(status.Date) << "\nVersion: " << EscapeText(status.Version)
                  << '\n';
    } else {
        std::cout << "Snapshot state: (no Status.plist)\n";
    }
    if (!result.Complete()) {
        std::cout << "The last backup run did not complete.\n";
    }
    if (!result.InfoReadable) {
        std::cout << "Info.plist is missing or cannot be read.\n";
    }
    std::cout << result.Files << " files\n";
    std::array<std::size_t, kCheckProblemKinds> counts{};
    for (const TCheckFinding& finding : result.Problems) {
        ++counts[static_cast<std::size_t>(finding.Problem)];
    }
    for (int kind = 0; kind < kCheckProblemKinds; ++kind) {
        if (counts[static_cast<std::size_t>(kind)] != 0) {
            std::cout << CheckProblemName(static_cast<TCheckProblem>(kind)) << ": "
                      << counts[static_cast<std::size_t>(kind)] << '\n';
        }
    }
    for (const TCheckFinding& finding : result.Problems) {
        std::cout << EscapeText(finding.Key) << '\t' << CheckProblemName(finding.Problem) << '\n';
    }
    if (result.Whole()) {
        std::cout << "The backup is whole.\n";
    }
}

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
    json ? PrintJson(result) : PrintText(result);
    return result.Whole() ? 0 : kExitProblemsFound;
}

} // namespace kestrow
