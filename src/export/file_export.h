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

// Called after every file, from whichever worker finished it (one call at a time): files done,
// total, bytes written so far.
using TExportProgress = std::function<void(std::size_t done, std::size_t total, std::uint64_t bytes)>;

struct TFileExportOptions {
    bool Flat = false;      // one folder, files named by their last path component, numbered when taken
    bool Domains = false;   // every file at its domain + "/" + its device-relative path
    unsigned Jobs = 0;      // workers; 0: the number of hardware threads, at least 2
    bool KeepTimes = false; // files carry the modification times the manifest records
    TExportProgress Progress;
    std::stop_token Stop;
};

// Writes every file of the open backup's table below `destFolder`, decrypted: at its name in the
// table (its "/" as folders), at "Domain/relative path", or, flat, under its last path component
// with a unique name.
// Nothing is ever replaced, a half-written file never carries its name, no link in the destination
// is followed, and keys that could leave the destination are refused and listed as failures
// (also in the session log); nothing is lost quietly. A stop request ends the export early.
// Workers take the files in table order, each file read, decrypted and published by one worker;
// the files written, the failures (in table order) and the log are those of a one-worker run.
TFileExportResult ExportAllFiles(TIpodBackup& session, const std::string& destFolder,
                                 const TFileExportOptions& options);
TFileExportResult ExportAllFiles(TIpodBackup& session, const std::string& destFolder, bool flat,
                                 const TExportProgress& progress = {}, const std::stop_token& stop = {});

} // namespace kestrow
