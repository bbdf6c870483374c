#pragma once

#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace kestrow {

// What `search` and `timeline` share: the backup, the categories (empty: all), the output.
struct TSearchRequest {
    int Index = -1;
    std::vector<std::string> Categories;
    bool Json = false;
    std::string Csv;               // a new CSV file to write instead of printing
    std::string NotesPasswordFile; // search: candidate passwords of locked notes, one a line
};

// One line (or JSON object) per record holding every word of `text`, newest first.
int RunSearch(const TCliOptions& options, const TSearchRequest& request, const std::string& text);
// Every dated record between `from` and `to` (ISO 8601 dates or date-times, local unless they
// name a zone; empty: open), oldest first.
int RunTimeline(const TCliOptions& options, const TSearchRequest& request, const std::string& from,
                const std::string& to);

} // namespace kestrow
