#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrow::test {

// Bookmarks.db as devices create it; rows with a NULL parent are roots.
struct TBookmarkRow {
    std::int64_t Id;
    std::optional<std::int64_t> Parent;
    bool Folder;
    std::string Title;
    std::string Url;
};
std::string BookmarksSql(const std::vector<TBookmarkRow>& rows, bool uniqueIds = true);

// History.plist as devices write it: binary, "WebHistoryDates" an array of dictionaries with the
// address under the empty key, then "title", "lastVisitedDate" (seconds since 2001 as a decimal
// text) and "visitCount", keys in the device's order.
struct THistoryEntry {
    std::optional<std::string> Url;
    std::optional<std::string> Title;
    std::string LastVisited = "600000000.5";
    int VisitCount = 1;        // below 0: no visitCount
    bool WithRedirects = true; // a sixth child element pair
};
std::string HistoryPlist(const std::vector<THistoryEntry>& entries, bool binary = true);

} // namespace kestrow::test
