#pragma once

#include <string>
#include <vector>

namespace kestrow {

// The program that writes a fresh backup of a connected device: $KESTROW_BACKUP_TOOL when set,
// else the first "idevicebackup2" on PATH; empty when there is none.
std::string BackupToolPath();

// The arguments the tool is started with: it writes the device's backup into ROOT/<identifier>,
// where the backup list looks for it.
std::vector<std::string> BackupToolArguments(const std::string& toolPath, const std::string& uniqueId,
                                             const std::string& root);

// Runs the tool for the device as a child process (no terminal, standard input from /dev/null)
// and waits until it ends. Its exit code is not looked at: a tool that ran and ended counts as
// success, and what it left on disk is what gets opened. False with "[Fb] Mobilebackup not found"
// when the tool is missing, "[Fb] Cannot create process" when it cannot be started.
bool RunBackupTool(const std::string& toolPath, const std::string& uniqueId, const std::string& root,
                   std::string& errorText);

} // namespace kestrow
