#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace kestrow {

class TIpodBackup;

struct TFileExportFailure {
    std::string Key;
    std::string Target;
    int Error = 0; // errno
};

struct TFileExportResult {
    std::size_t Total = 0;
    std::size_t Exported = 0;
    std::uint64_t Bytes = 0;
    std::vector<TFileExportFailure> Failures; // in table order
    bool Stopped = false;                     // a stop was requested before every file was done
};

// Called after every file: files done, total, bytes written so far.
using TExportProgress = std::function<void(std::size_t done, std::size_t total, std::uint64_t bytes)>;

// Writes every file of the open backup's table below `destFolder`, decrypted: at its table key
// (the key's "/" as folders) or, with `flat`, under its last path component with a unique name.
// Nothing is ever replaced, a half-written file never carries its name, no link in the destination
// is followed, and keys that could leave the destination are refused and listed as failures
// (also in the session log); nothing is lost quietly. A stop request ends the export early.
TFileExportResult ExportAllFiles(TIpodBackup& session, const std::string& destFolder, bool flat,
                                 const TExportProgress& progress = {}, const std::stop_token& stop = {});

} // namespace kestrow
