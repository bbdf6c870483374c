#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;

// Notes `rows` (indexes into the notes, in the order to write) into `dest`: format 0 one text file,
// each note as "Note: " date, "Folder: " folder (when it has one), title and plain text; format 1 a
// page per note ("<title>.html") with its pictures and files in a "_files" folder beside it. A locked
// note that was not opened is written as "(locked note)" in text and is not written as a page (it
// is listed among the failures with EACCES).
TExportResult ExportNotes(TIpodBackup& session, const std::vector<int>& rows, int format,
                          const std::string& dest, const TExportControl& control = {});

} // namespace kestrow
