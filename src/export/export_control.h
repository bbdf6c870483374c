#pragma once

#include <cstddef>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "archive/copy_failure.h"

namespace kestrow {

// Progress and stop of one export run, shared by the command line and the desktop program. `Step`
// is called after each record (from the thread that runs the export) with the records done and
// the total; a stop request ends the run after the record in hand.
struct TExportControl {
    std::stop_token Stop;
    std::function<void(std::size_t done, std::size_t total)> Step;

    // Reports a finished record; false when the run is to end.
    bool Next(std::size_t done, std::size_t total) const {
        if (Step) {
            Step(done, total);
        }
        return !Stop.stop_requested();
    }
};

// A record that could not be written: where it was going and why (errno).
using TExportFailure = TCopyFailure;

struct TExportResult {
    int Count = 0;                        // records (or files) written, as each format counts them
    std::vector<TExportFailure> Failures; // in the order they happened
    bool Stopped = false;                 // ended by a stop request before every record was done
    int FolderError = 0;                  // the destination could not be made or may not be written
};

} // namespace kestrow
