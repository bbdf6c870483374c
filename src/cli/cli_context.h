#pragma once

#include <memory>
#include <optional>
#include <string>

#include "archive/ipod_backup.h"

namespace kestrow {

// Exit codes beyond the opening status bytes (0-4); a signal ends a command with 128 + its number.
constexpr int kExitUsage = 64;
constexpr int kExitFailure = 65;
constexpr int kExitNoPrivateFolder = 73; // the private temporary folder cannot be made

// What every command shares: the chosen root and password source.
struct TCliOptions {
    std::string Root;         // empty: the default backup root
    std::string PasswordFile; // empty: environment or prompt
};

std::string EffectiveRoot(const TCliOptions& options);

// A session over the chosen root that stops with the command's signals. Without its private
// folder (TMPDIR missing or not writable) nothing could be converted or decrypted safely: that is
// said on stderr and `exitCode` is set to kExitNoPrivateFolder (the session is null).
std::unique_ptr<TIpodBackup> MakeSession(const TCliOptions& options, int& exitCode);

// A session over the chosen root with one backup opened by index. Prints the problem on stderr and
// returns the status byte (or kExitNoPrivateFolder) when the opening fails.
struct TOpenedSession {
    std::unique_ptr<TIpodBackup> Session;
    int Status = osNoBackup;
};
TOpenedSession OpenSession(const TCliOptions& options, int index);

// A table key as the user typed it, or in the escaped form that plain and JSON output give; null
// when the backup has no such file (`unescaped` holds the decoded key when that was used).
const std::string* FindKey(const TIpodBackup& session, const std::string& typed, std::string& unescaped);

// False (with the reason on stderr) for an empty destination.
bool RequireDestination(const std::string& dest);

// Why a destination could not be written: "inside a backup folder" when that is why it was
// refused, else the error's text.
std::string DestinationErrorText(const TIpodBackup& session, const std::string& dest, int error);

// Status texts use "\r" as line break; on a terminal each becomes a line.
std::string TerminalText(const std::string& text);

} // namespace kestrow
