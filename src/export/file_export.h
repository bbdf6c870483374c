#pragma once

#include <cstdint>
#include <functional>
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
    std::vector<TFileExportFailure> Failures;
};

// Called after every file: files done, total, bytes written so far.
using TExportProgress = std::function<void(std::size_t done, std::size_t total, std::uint64_t bytes)>;

// Writes every file of the open backup's table below `destFolder`, decrypted: at its table key
// (the key's "/" as folders) or, with `flat`, under its last path component with a unique name.
// Keys that could leave the destination are refused and listed as failures; nothing is lost quietly.
TFileExportResult ExportAllFiles(TIpodBackup& session, const std::string& destFolder, bool flat,
                                 const TExportProgress& progress = {});

} // namespace kestrow
