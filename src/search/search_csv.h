#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "search/search_index.h"

namespace kestrow {

// The snippet with its marks between "«" and "»".
std::string MarkedSnippet(const TSnippet& snippet);
// Where a hit's record is listed: its index, for Safari with its list ("history 3").
std::string RecordText(const TSearchRef& ref);

// A CSV cell: a text a spreadsheet would take for a formula (starting with "=" or "@") gets a "'"
// before it; quoted when it holds a comma, a double quote or a line break.
std::string SpreadsheetCell(std::string_view text);

// Search results and the timeline as CSV files: UTF-8 with a byte-order mark, CR LF, a header row,
// dates in ISO 8601 with the session's UTC offset.
std::string SearchCsv(const std::vector<TSearchHit>& hits, int utcOffset);
std::string TimelineCsv(const std::vector<TSearchHit>& entries, int utcOffset);

} // namespace kestrow
