#include "cli/mount_command.h"

#include <cstring>
#include <iostream>

#include <fmt/format.h>

#include "cli/display_text.h"
#include "cli/stop_signals.h"
#include "mount/backup_fs.h"

namespace kestrow {

int RunMount(const TCliOptions& options, int index, const std::string& mountPoint, bool byDomain) {
    // Refused before a password is asked for.
    if (const int err = TBackupFileSystem::CheckMountPoint(mountPoint); err != 0) {
        std::cerr << fmt::format("Cannot mount on {}: {}\n", EscapeText(mountPoint),
                                 err == ENOTEMPTY ? "the folder is not empty" : std::strerror(err));
        return kExitFailure;
    }
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TBackupFileSystem fileSystem(*opened.Session, byDomain);
    for (const TMountSkipped& skipped : fileSystem.Skipped()) {
        std::cerr << fmt::format("not shown: {}: {}\n", EscapeText(skipped.Key), skipped.Reason);
    }
    std::cerr << fmt::format("Mounted at {}; Ctrl-C or fusermount3 -u unmounts it.\n",
                             EscapeText(mountPoint));
    std::string error;
    if (fileSystem.Run(mountPoint, TStopSignals::Token(), error) != 0) {
        std::cerr << fmt::format("Cannot mount on {}: {}\n", EscapeText(mountPoint), error);
        return kExitFailure;
    }
    return 0;
}

} // namespace kestrow
