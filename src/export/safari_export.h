#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;
class TSafari;

// A row of the bookmarks-and-history list.
enum TSafariRowKind : std::uint8_t {
    srBookmarksGroup = 0, // "Bookmarks"
    srHistoryGroup = 1,   // "Histories"
    srBookmark = 2,       // Index into the bookmarks
    srHistory = 3,        // Index into the history
};
struct TSafariRow {
    TSafariRowKind Kind = srBookmarksGroup;
    int Index = -1;
    bool operator==(const TSafariRow&) const = default;
};

// The rows as the list shows them: "Bookmarks" with every bookmark that is no folder, then
// "Histories" with every history entry; a group only when it has entries.
std::vector<TSafariRow> SafariRows(const TSafari& safari);

// The rows an export writes, in list order: all of `listed` when nothing is selected, else the
// selected ones and every row of a selected group.
std::vector<TSafariRow> SafariExportRows(const std::vector<TSafariRow>& listed,
                                         const std::vector<bool>& selected);

// The rows into `dest`: 0 one CSV text (a header line before each group's rows; every field quoted),
// 1 an Internet shortcut file per entry under `dest` + "ExportedFromiOS/" (bookmarks in their
// folders, history in "Visited"; existing files are left as they are).
TExportResult ExportSafari(TIpodBackup& session, const std::vector<TSafariRow>& rows, int format,
                           const std::string& dest, const TExportControl& control = {});

// A title as a shortcut's file name: at most 120 characters, the nine characters no file name may
// hold on every system made "-".
std::string ShortcutName(const std::string& title);

} // namespace kestrow
