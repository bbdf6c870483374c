#pragma once

#include <string>

#include "cli/cli_context.h"

namespace kestrow {

// `mount INDEX MOUNTPOINT [--domains]`: the backup's files as a read-only file system, in the
// foreground until Ctrl-C, SIGTERM or `fusermount3 -u`. 0 after a clean unmount, kExitFailure
// when the mount point is not an empty folder or the mount fails, the opening status otherwise.
int RunMount(const TCliOptions& options, int index, const std::string& mountPoint, bool byDomain);

} // namespace kestrow
