#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "archive/backup_check.h"

namespace kestrow {

// The text of a check's result, shared by the front ends: the run status, a count per finding kind,
// then one "KEY<TAB>problem" line per finding. Texts from the backup pass through `escape`.
std::string CheckReportText(const TCheckResult& result,
                            const std::function<std::string(std::string_view)>& escape);

} // namespace kestrow
