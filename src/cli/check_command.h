#pragma once

#include "cli/cli_context.h"

namespace kestrow {

// Exit code of `check` when the backup is not whole.
constexpr int kExitProblemsFound = 10;

// `check INDEX [--deep] [--json]`: the backup's run status and the findings of the integrity
// check; 0 when whole, kExitProblemsFound when not, the opening status when it cannot be opened.
int RunCheck(const TCliOptions& options, int index, bool deep, bool json);

} // namespace kestrow
