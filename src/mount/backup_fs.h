#pragma once

#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "mount/mount_tree.h"

namespace kestrow {

class TIpodBackup;

// A read-only FUSE file system (libfuse3, high-level API) over the files of an open backup. Files
// are read through the session's file access; protected ones are decrypted block by block as they
// are read (nothing decrypted is written anywhere), with the last decrypted run kept per open file.
// Sizes are exact: a protected file's is found by decrypting its last block when first asked for.
// The loop is single-threaded.
class TBackupFileSystem {
public:
    TBackupFileSystem(const TIpodBackup& session, bool byDomain);
    ~TBackupFileSystem();

    // Files and links the tree could not show.
    const std::vector<TMountSkipped>& Skipped() const { return FSkipped; }

    // 0 when `mountPoint` is an empty folder; else ENOTDIR, ENOTEMPTY or errno.
    static int CheckMountPoint(const std::string& mountPoint);
    // Mounts at `mountPoint` and serves requests until the file system is unmounted from outside
    // (fusermount3 -u) or `stop` is requested, then unmounts. Returns 0, or an errno when the
    // mount failed (`error` says more).
    int Run(const std::string& mountPoint, const std::stop_token& stop, std::string& error);

    struct TState; // what the callbacks reach

private:
    std::unique_ptr<TState> FState;
    std::vector<TMountSkipped> FSkipped;
};

} // namespace kestrow
