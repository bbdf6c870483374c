#pragma once

#include <memory>
#include <optional>
#include <string>

#include "archive/ipod_backup.h"

namespace kestrow {

// Exit codes beyond the opening status bytes (0-4).
constexpr int kExitUsage = 64;
constexpr int kExitFailure = 65;

// What every command shares: the chosen root and password source.
struct TCliOptions {
    std::string Root;         // empty: the default backup root
    std::string PasswordFile; // empty: environment or prompt
};

std::string EffectiveRoot(const TCliOptions& options);

// A session over the chosen root with one backup opened by index. Prints the problem on stderr and
// returns the status byte when the opening fails.
struct TOpenedSession {
    std::unique_ptr<TIpodBackup> Session;
    int Status = osNoBackup;
};
TOpenedSession OpenSession(const TCliOptions& options, int index);

// Status texts use "\r" as line break; on a terminal each becomes a line.
std::string TerminalText(const std::string& text);

} // namespace kestrow
