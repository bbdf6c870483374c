#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace kestrow {

class TIpodBackup;

// What can be wrong with one file of a backup.
enum class TCheckProblem : std::uint8_t {
    Missing,  // its content file is not there (or is no regular file)
    Size,     // plain: not the recorded size; protected: not a whole number of cipher blocks
    Padding,  // protected: the decrypted last block has no valid padding (deep check)
    Key,      // protected: its file key does not unwrap with the class key
    Digest,   // the content does not match the digest the manifest records (deep check)
    Unlisted, // a content file that no record of the manifest names
};
constexpr int kCheckProblemKinds = 6;
const char* CheckProblemName(TCheckProblem problem); // "missing", "size", ...

struct TCheckFinding {
    std::string Key; // table key; for an unlisted file its content file name
    TCheckProblem Problem = TCheckProblem::Missing;
};

// Status.plist: how the last backup run ended.
struct TBackupRunStatus {
    bool Present = false;
    std::string SnapshotState; // "finished" when the run completed
    std::optional<bool> IsFullBackup;
    std::string Date; // as recorded (ISO 8601)
    std::string Version;
};

struct TCheckResult {
    TBackupRunStatus Status;
    bool InfoReadable = false;
    std::size_t Files = 0;               // records checked
    std::vector<TCheckFinding> Problems; // records in manifest order, then unlisted files by name
    bool Stopped = false;
    // The last run completed: a SnapshotState other than "finished" means it was cut short. A
    // backup without Status.plist (the layouts before it) counts as complete.
    bool Complete() const { return !Status.Present || Status.SnapshotState == "finished"; }
    bool Whole() const { return Complete() && InfoReadable && Problems.empty() && !Stopped; }
};

using TCheckProgress = std::function<void(std::size_t done, std::size_t total)>;

// The integrity check of the open backup: its run status, Info.plist, and every file of the
// manifest read through the session's file access, as extraction reads it. Deep, every file is
// decrypted (protected) or read (with a recorded digest) in full. Several workers check files at
// once; the findings are those of a one-worker run. Nothing is written but the session's private
// folder (Status.plist converted there).
class TBackupCheck {
public:
    explicit TBackupCheck(TIpodBackup& session) : FSession(session) {}
    TCheckResult Run(bool deep, const TCheckProgress& progress = {}, const std::stop_token& stop = {},
                     unsigned jobs = 0);

private:
    TIpodBackup& FSession;
};

// Reads a backup folder's Status.plist (binary or XML) converting through `workFile`.
TBackupRunStatus ReadRunStatus(const std::string& folder, const std::string& workFile);

} // namespace kestrow
