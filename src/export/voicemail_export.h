#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;

// Voicemails `rows` (indexes into the voicemail list, in the order to write) into `dest`: each
// message's AMR audio, decrypted, named after the caller and the date ("Name~date.amr").
TExportResult ExportVoicemail(TIpodBackup& session, const std::vector<int>& rows, const std::string& dest,
                              const TExportControl& control = {});

} // namespace kestrow
