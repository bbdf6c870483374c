#pragma once

#include <string>

#include "cli/cli_context.h"

namespace kestrow {

struct TExportRequest {
    int Index = 0;
    std::string Category; // contacts, messages, calls, notes, calendar, safari, voicemail, files, photos
    std::string Dest;
    std::string Format; // a format code or the start of its text; empty: 0
    // Record indexes in reader order ("0,3,4"); for files a file of table keys, one per line, or
    // "-" for standard input. Empty: every record.
    std::string Rows;
    std::string NotesPasswordFile; // notes: candidate passwords of locked notes, one a line
    bool ByMonth = false;          // photos: one folder per year and month
};

// Writes one category of a backup into a folder in one of its formats. Prints the count and the
// folder; 65 when a record could not be written (each failure on stderr), 66 when the category's
// database cannot be read, 64 for a request that names no category, format or record.
int RunExport(const TCliOptions& options, const TExportRequest& request);

} // namespace kestrow
