#include "export/safari_export.h"

#include <unordered_map>

#include "archive/ipod_backup.h"
#include "export/export_file.h"
#include "export/export_path.h"
#include "platform/date_time.h"
#include "platform/new_file.h"
#include "platform/output_tree.h"
#include "platform/paths.h"
#include "readers/safari.h"

namespace kestrow {

namespace {

enum : int { kCsv = 0, kShortcuts = 1 };

constexpr std::size_t kMaxShortcutCharacters = 120;
constexpr std::size_t kShortcutTail = 15; // "_" + 10 digits + ".url"

bool InGroup(const TSafariRow& row, const TSafariRow& group) {
    return (group.Kind == srBookmarksGroup && row.Kind == srBookmark) ||
           (group.Kind == srHistoryGroup && row.Kind == srHistory);
}

std::string CsvText(const TSafari& safari, const std::vector<TSafariRow>& rows, int& count) {
    std::string text(kUtf8Bom);
    for (const TSafariRow& row : rows) {
        if (row.Kind == srBookmarksGroup) {
            text += "Title,Url,Folder\r\n";
        } else if (row.Kind == srHistoryGroup) {
            text += "Title,Url,Visited\r\n";
        } else if (row.Kind == srBookmark) {
            const TBookmarkItem& bookmark = safari.Bookmarks(row.Index);
            text += CsvQuoted(bookmark.Title) + "," + CsvQuoted(bookmark.Url) + "," +
                    CsvQuoted(safari.FolderPath(row.Index)) + "\r\n";
            ++count;
        } else {
            const THistoryItem& item = safari.History(row.Index);
            text += CsvQuoted(item.Title) + "," + CsvQuoted(item.Url) + "," +
                    CsvQuoted(DateTimeText(item.Date)) + "\r\n";
            ++count;
        }
    }
    return text;
}

// A bookmark's folders below the shortcuts' base: each name made a safe file name.
std::string ShortcutFolder(const std::string& folderPath) {
    std::string relative;
    std::size_t start = 0;
    while (start <= folderPath.size()) {
        const std::size_t end = std::min(folderPath.find('\\', start), folderPath.size());
        const std::string part = ShortcutName(folderPath.substr(start, end - start));
        if (!part.empty()) {
            relative += (relative.empty() ? "" : "/") + part;
        }
        start = end + 1;
    }
    return relative;
}

// Writes "[InternetShortcut]" and the address; a line break inside the address is left out so
// that it cannot add lines of its own. An existing file is kept. Returns 0 or errno.
int WriteShortcut(TOutputTree& tree, const std::string& folder, const std::string& name,
                  const std::string& url) {
    int err = 0;
    const TOutputTree::TFolder handle = tree.Folder(folder, err);
    if (!handle) {
        return err;
    }
    std::string address;
    for (const char c : url) {
        if (c != '\r' && c != '\n') {
            address += c;
        }
    }
    const std::string text = "[InternetShortcut]\r\nUrl=" + address + "\r\n";
    TNewFile file;
    if ((err = file.Create(handle->Fd(), TPublishMode::NoReplace)) == 0 &&
        (err = file.Write(text.data(), text.size())) == 0) {
        err = file.Publish(name);
    }
    return err;
}

void Shortcuts(const TSafari& safari, const std::vector<TSafariRow>& rows, const std::string& base,
               TExportResult& result, const TExportControl& control) {
    TOutputTree tree;
    if ((result.FolderError = tree.Open(base)) != 0) {
        return;
    }
    std::size_t done = 0;
    // Equal names in one folder are numbered "_1", "_2", ... in the run; a file left by an earlier
    // run under such a name is kept as it is, so exporting twice writes nothing new.
    std::unordered_map<std::string, int> repeats;
    for (const TSafariRow& row : rows) {
        if (row.Kind == srBookmark || row.Kind == srHistory) {
            const bool bookmark = row.Kind == srBookmark;
            const std::string& title =
                bookmark ? safari.Bookmarks(row.Index).Title : safari.History(row.Index).Title;
            const std::string& url =
                bookmark ? safari.Bookmarks(row.Index).Url : safari.History(row.Index).Url;
            const std::string folder = bookmark ? ShortcutFolder(safari.FolderPath(row.Index)) : "Visited";
            const std::string stem = title.empty() ? "NoTitle" : ShortcutName(title);
            const int repeat = repeats[folder + "/" + stem]++;
            const std::string name = (repeat == 0 ? stem : stem + "_" + std::to_string(repeat)) + ".url";
            const int err = WriteShortcut(tree, folder, name, url);
            if (err == 0) {
                ++result.Count; // files written
            } else if (err != EEXIST) {
                result.Failures.push_back({base + (folder.empty() ? "" : folder + "/") + name, err});
            }
        }
        if (!ExportStep(control, ++done, rows.size(), result)) {
            return;
        }
    }
}

} // namespace

std::string ShortcutName(const std::string& title) {
    // Room is kept for a repeat's suffix and ".url".
    return SafeFileName(title, kMaxShortcutCharacters, '-', kMaxNameBytes - kShortcutTail);
}

std::vector<TSafariRow> SafariRows(const TSafari& safari) {
    std::vector<TSafariRow> rows;
    if (safari.BookmarkCount() > 0) {
        rows.push_back({srBookmarksGroup, -1});
        for (int i = 0; i < safari.BookmarkCount(); ++i) {
            if (!safari.Bookmarks(i).IsFolder) {
                rows.push_back({srBookmark, i});
            }
        }
    }
    if (safari.HistoryCount() > 0) {
        rows.push_back({srHistoryGroup, -1});
        for (int i = 0; i < safari.HistoryCount(); ++i) {
            rows.push_back({srHistory, i});
        }
    }
    return rows;
}

std::vector<TSafariRow> SafariExportRows(const std::vector<TSafariRow>& listed,
                                         const std::vector<bool>& selected) {
    const auto isSelected = [&](std::size_t i) { return i < selected.size() && selected[i]; };
    std::vector<TSafariRow> selectedGroups;
    for (std::size_t i = 0; i < listed.size(); ++i) {
        if (isSelected(i) && (listed[i].Kind == srBookmarksGroup || listed[i].Kind == srHistoryGroup)) {
            selectedGroups.push_back(listed[i]);
        }
    }
    std::vector<TSafariRow> rows;
    const bool all = std::find(selected.begin(), selected.end(), true) == selected.end();
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const bool inSelectedGroup =
            std::any_of(selectedGroups.begin(), selectedGroups.end(),
                        [&](const TSafariRow& group) { return InGroup(listed[i], group); });
        if (all || isSelected(i) || inSelectedGroup) {
            rows.push_back(listed[i]);
        }
    }
    return rows;
}

TExportResult ExportSafari(TIpodBackup& session, const std::vector<TSafariRow>& rows, int format,
                           const std::string& dest, const TExportControl& control) {
    TExportResult result;
    const std::string folder = WithTrailingSlash(dest);
    const TSafari* safari = session.LoadSafari();
    if (safari == nullptr || rows.empty() || (format != kCsv && format != kShortcuts)) {
        return result;
    }
    if ((result.FolderError = PrepareExportFolder(session, folder)) != 0) {
        return result;
    }
    if (format == kShortcuts) {
        Shortcuts(*safari, rows, folder + "ExportedFromiOS/", result, control);
        return result;
    }
    int count = 0;
    const std::string text = CsvText(*safari, rows, count);
    const std::string path = MakeExportPath(session.CurrentDeviceName() + "_Safari", ".txt", folder);
    WriteExportFile(result, path, text, count);
    return result;
}

} // namespace kestrow
