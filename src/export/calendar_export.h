#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;
struct TCalendarItem;

// The text of one event: its dates ("(All day)", "start ~ end" or the start alone), location,
// title, then the description on the next line.
std::string EventText(const TCalendarItem& event);

// Events `rows` (indexes into the calendar, in the order to write) into one text file in `dest`.
TExportResult ExportCalendar(TIpodBackup& session, const std::vector<int>& rows, const std::string& dest,
                             const TExportControl& control = {});

} // namespace kestrow
