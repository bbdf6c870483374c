#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;
class TShortMessage;

// The conversations a list shows: every one with at least one message, in reader order.
std::vector<int> ListedConversations(const TShortMessage& messages);

// Conversations `rows` (indexes into the messages reader, in the order to write) into `dest`:
// 0 an HTML page each with its attachments in a "_files" folder beside it, 1 a web archive each,
// 2 a text file each. `exportedAt` is the date text written under each page's title.
TExportResult ExportMessages(TIpodBackup& session, const std::vector<int>& rows, int format,
                             const std::string& dest, const std::string& exportedAt,
                             const TExportControl& control = {});

} // namespace kestrow
