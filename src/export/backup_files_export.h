#pragma once

#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;
class TExportNames;

// Files of the backup by their names in the file table, in the order given, into `dest`, decrypted: 0 under
// their last path component ("_1", "_2", ... when taken), 1 at their key's path below `dest`. Nothing is
// replaced; a key that could leave `dest` is refused. Failures are logged by the session as well.
TExportResult ExportBackupFiles(TIpodBackup& session, const std::vector<std::string>& keys, int format,
                                const std::string& dest, const TExportControl& control = {});

// The path a file lands at in a "Files only" export into `folder` (ending with "/"), named among
// the files of the run.
std::string FlatExportPath(const std::string& key, const std::string& folder, TExportNames& names);

} // namespace kestrow
