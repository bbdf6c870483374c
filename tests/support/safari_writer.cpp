#include "support/safari_writer.h"

#include <fmt/format.h>

#include "support/plist_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow::test {

std::string BookmarksSql(const std::vector<TBookmarkRow>& rows, bool uniqueIds) {
    std::string sql =
        std::string("CREATE TABLE bookmarks (id INTEGER") + (uniqueIds ? " PRIMARY KEY" : "") +
        ", special_id INTEGER DEFAULT 0, parent INTEGER, type INTEGER, title TEXT, url TEXT COLLATE "
        "NOCASE, num_children INTEGER DEFAULT 0, editable INTEGER DEFAULT 1, deletable INTEGER DEFAULT "
        "1, hidden INTEGER DEFAULT 0, hidden_ancestor_count INTEGER DEFAULT 0, order_index INTEGER NOT "
        "NULL DEFAULT 0, external_uuid TEXT, read INTEGER DEFAULT NULL);";
    int order = 0;
    for (const TBookmarkRow& r : rows) {
        sql += fmt::format(
            "INSERT INTO bookmarks (id, parent, type, title, url, order_index) VALUES ({}, {}, {}, {}, "
            "{}, {});",
            r.Id, r.Parent ? std::to_string(*r.Parent) : "NULL", r.Folder ? 1 : 0, SqlText(r.Title),
            r.Folder ? "NULL" : SqlText(r.Url), order++);
    }
    return sql;
}

std::string HistoryPlist(const std::vector<THistoryEntry>& entries, bool binary) {
    TPlistPtr root(plist_new_dict());
    plist_t list = plist_new_array();
    for (const THistoryEntry& e : entries) {
        plist_t entry = plist_new_dict();
        if (e.Url) {
            plist_dict_set_item(entry, "", plist_new_string(e.Url->c_str()));
        }
        if (e.Title) {
            plist_dict_set_item(entry, "title", plist_new_string(e.Title->c_str()));
        }
        plist_dict_set_item(entry, "lastVisitedDate", plist_new_string(e.LastVisited.c_str()));
        if (e.VisitCount >= 0) {
            plist_dict_set_item(entry, "visitCount",
                                plist_new_uint(static_cast<std::uint64_t>(e.VisitCount)));
        }
        if (e.WithRedirects) {
            plist_dict_set_item(entry, "D", plist_new_array());
        }
        plist_array_append_item(list, entry);
    }
    plist_dict_set_item(root.get(), "WebHistoryFileVersion", plist_new_uint(1));
    plist_dict_set_item(root.get(), "WebHistoryDates", list);
    plist_dict_set_item(root.get(), "WebHistoryDomains.v2", plist_new_array());
    const auto plist = static_cast<plist_t>(root.get());
    return binary ? PlistBinary(plist) : PlistXml(plist);
}

} // namespace kestrow::test
