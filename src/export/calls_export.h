#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;

// Calls `rows` (indexes into the call log, in the order to write) into one file in `dest`:
// 0 text with blanks between the fields, 1 CSV. The name is always quoted.
TExportResult ExportCalls(TIpodBackup& session, const std::vector<int>& rows, int format,
                          const std::string& dest, const TExportControl& control = {});

} // namespace kestrow
