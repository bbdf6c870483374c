#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kestrow {

constexpr std::size_t kMaxFolderDepth = 64;

// One bookmark or bookmark folder.
struct TBookmarkItem {
    std::string Title;
    std::string Url; // bookmarks only
    bool IsFolder = false;
    std::int32_t Parent = 0; // the id of the folder holding it
};

// One visited page.
struct THistoryItem {
    std::string Title = "No title";
    std::string Url; // never empty in the list
    double Date = 0; // the last visit, local; 0 when unknown
};

// Safari's bookmarks (Bookmarks.db) and browsing history (an XML property list the session made of
// History.plist or, on phones since 2016, History.db), read whole in the constructor; any may be
// missing. Bookmarks database errors raise ESQLiteException; history errors end the history where
// they occur (a History.db error is kept in HistoryError).
class TSafari {
public:
    TSafari(const std::string& bookmarksFile, int utcOffset, const std::string& historyXmlFile,
            const std::string& historyDbFile = {});

    int BookmarkCount() const { return static_cast<int>(FBookmarks.size()); }
    const TBookmarkItem& Bookmarks(int index) const { return FBookmarks.at(static_cast<std::size_t>(index)); }
    bool HasBookmarks() const { return FHasBookmarks; }
    int HistoryCount() const { return static_cast<int>(FHistory.size()); }
    const THistoryItem& History(int index) const { return FHistory.at(static_cast<std::size_t>(index)); }
    bool HasHistory() const { return FHasHistory; }
    // The folders holding a bookmark, outermost first, joined by "\" ("A\B"); empty at top level.
    // Of a chain deeper than kMaxFolderDepth only the nearest folders are kept (`cut` set), so that
    // a hostile chain costs neither time nor nested folders.
    std::string FolderPath(int index, bool* cut = nullptr) const;
    // The bookmarks whose folder paths are cut.
    int TooDeepCount() const;
    const std::string& HistoryError() const { return FHistoryError; }

private:
    void ReadBookmarks(const std::string& fileName);
    void ReadHistory(const std::string& fileName);
    void ReadHistoryDb(const std::string& fileName);

    int FUtcOffset = 0;
    bool FHasBookmarks = false;
    bool FHasHistory = false;
    std::vector<TBookmarkItem> FBookmarks;
    std::unordered_map<std::int64_t, std::size_t> FFolderIndex;
    std::vector<THistoryItem> FHistory;
    std::string FHistoryError;
};

// The history entries of an XML History.plist text (WebHistoryDates), as far as they read.
std::vector<THistoryItem> ReadHistoryXml(std::string_view xml, int utcOffset);

} // namespace kestrow
