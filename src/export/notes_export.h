#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;

// Notes `rows` (indexes into the notes, in the order to write) into one text file in `dest`, each
// as "Note: " date, title and plain text.
TExportResult ExportNotes(TIpodBackup& session, const std::vector<int>& rows, const std::string& dest,
                          const TExportControl& control = {});

} // namespace kestrow
