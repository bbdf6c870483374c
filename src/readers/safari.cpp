#include "readers/safari.h"

#include <charconv>
#include <unordered_set>

#include <pugixml.hpp>

#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/record_text.h"
#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

std::vector<pugi::xml_node> Elements(pugi::xml_node node) {
    std::vector<pugi::xml_node> elements;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            elements.push_back(child);
        }
    }
    return elements;
}

// An element's text: its character data and CDATA, decoded.
std::string TextOf(pugi::xml_node node) {
    std::string text;
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            text += child.value();
        }
    }
    return text;
}

// lastVisitedDate: a decimal number, with "," or "." (read without the locale). Nothing when it is
// not a number.
std::optional<double> VisitSeconds(std::string text) {
    for (char& c : text) {
        c = c == ',' ? '.' : c;
    }
    const auto first = text.find_first_not_of(' ');
    const auto last = text.find_last_not_of(' ');
    if (first == std::string::npos) {
        return std::nullopt;
    }
    double value = 0;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// One entry dictionary; false when an error ends the history.
bool ReadEntry(pugi::xml_node dict, int utcOffset, std::vector<THistoryItem>& history) {
    const std::vector<pugi::xml_node> children = Elements(dict);
    if (children.size() <= 5) {
        return true;
    }
    THistoryItem item;
    int found = 0;
    for (std::size_t j = 0; j + 1 < children.size() && found < 3; j += 2) {
        const std::string key = TextOf(children[j]);
        if (key.empty() && SameTextAscii(children[j].name(), "key")) {
            item.Url = TextOf(children[j + 1]);
            ++found;
        } else if (SameTextAscii(key, "lastVisitedDate")) {
            const auto seconds = VisitSeconds(TextOf(children[j + 1]));
            if (!seconds) {
                return false;
            }
            item.Date =
                *seconds <= 0 ? 0 : DayCountOrNone((*seconds + utcOffset) / 86400.0 + kDeviceEpochDays);
            ++found;
        } else if (SameTextAscii(key, "title")) {
            item.Title = TextOf(children[j + 1]);
            ++found;
        }
    }
    if (!item.Url.empty()) {
        history.push_back(std::move(item));
    }
    return true;
}

} // namespace

std::vector<THistoryItem> ReadHistoryXml(std::string_view xml, int utcOffset) {
    std::vector<THistoryItem> history;
    pugi::xml_document doc;
    if (doc.load_buffer(xml.data(), xml.size()).status != pugi::status_ok) {
        return history;
    }
    const std::vector<pugi::xml_node> top = Elements(doc.document_element());
    if (top.empty()) {
        return history;
    }
    const std::vector<pugi::xml_node> keys = Elements(top[0]);
    if (keys.size() < 3) {
        return history;
    }
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        if (SameTextAscii(keys[i].name(), "key") && SameTextAscii(TextOf(keys[i]), "WebHistoryDates")) {
            for (const pugi::xml_node entry : Elements(keys[i + 1])) {
                if (!ReadEntry(entry, utcOffset, history)) {
                    return history;
                }
            }
            break;
        }
    }
    return history;
}

TSafari::TSafari(const std::string& bookmarksFile, int utcOffset, const std::string& historyXmlFile,
                 const std::string& historyDbFile)
    : FUtcOffset(utcOffset) {
    if (!bookmarksFile.empty()) {
        FHasBookmarks = true;
        ReadBookmarks(bookmarksFile);
    }
    if (!historyXmlFile.empty()) {
        FHasHistory = true;
        ReadHistory(historyXmlFile);
    } else if (!historyDbFile.empty()) {
        FHasHistory = true;
        ReadHistoryDb(historyDbFile);
    }
}

void TSafari::ReadHistoryDb(const std::string& fileName) {
    if (!FileExists(fileName)) {
        return;
    }
    try {
        // One entry per page with its latest visit, in the order of history_items.
        const auto db = OpenDeviceDatabase(fileName);
        const auto table = db->GetTable(
            "SELECT i.url, (SELECT v.visit_time FROM history_visits v WHERE v.history_item = i.id ORDER BY "
            "v.visit_time DESC, v.id DESC LIMIT 1), (SELECT v.title FROM history_visits v WHERE "
            "v.history_item = i.id "
            "ORDER BY v.visit_time DESC, v.id DESC LIMIT 1) FROM history_items i ORDER BY i.rowid");
        for (; !table->Eof(); table->Next()) {
            THistoryItem item;
            item.Url = table->FieldAsString(0);
            const double seconds = table->FieldAsDouble(1);
            item.Date =
                seconds <= 0 ? 0 : DayCountOrNone((seconds + FUtcOffset) / 86400.0 + kDeviceEpochDays);
            if (const std::string title = table->FieldAsString(2); !title.empty()) {
                item.Title = title;
            }
            if (!item.Url.empty()) {
                FHistory.push_back(std::move(item));
            }
        }
    } catch (const ESQLiteException& e) {
        FHistoryError = e.Reason();
    }
}

void TSafari::ReadBookmarks(const std::string& fileName) {
    if (!FileExists(fileName)) {
        return;
    }
    const auto db = OpenDeviceDatabase(fileName);
    const auto table = db->GetTable("SELECT * FROM bookmarks");
    const int id = table->FieldIndex("id");
    const int parent = table->FieldIndex("parent");
    const int type = table->FieldIndex("type");
    const int title = table->FieldIndex("title");
    const int url = table->FieldIndex("url");
    for (; !table->Eof(); table->Next()) {
        if (table->FieldIsNull(parent)) {
            continue; // the root
        }
        TBookmarkItem item;
        item.IsFolder = table->FieldAsInteger(type) == 1;
        item.Title = table->FieldAsString(title);
        if (item.IsFolder) {
            FFolderIndex.try_emplace(table->FieldAsInteger(id),
                                     FBookmarks.size()); // a repeated id keeps the first
        } else {
            item.Url = table->FieldAsString(url);
        }
        item.Parent = static_cast<std::int32_t>(table->FieldAsInteger(parent));
        FBookmarks.push_back(std::move(item));
    }
}

void TSafari::ReadHistory(const std::string& fileName) {
    std::string xml;
    if (ReadWholeFile(fileName, xml)) {
        FHistory = ReadHistoryXml(xml, FUtcOffset);
    }
}

std::string TSafari::FolderPath(int index, bool* cut) const {
    std::int64_t id = Bookmarks(index).Parent;
    std::vector<const std::string*> titles;   // innermost first
    std::unordered_set<std::int64_t> visited; // parent links may form a cycle: each folder once
    while (id > 0 && visited.insert(id).second) {
        const auto folder = FFolderIndex.find(id);
        if (folder == FFolderIndex.end()) {
            break;
        }
        if (titles.size() == kMaxFolderDepth) {
            if (cut != nullptr) {
                *cut = true;
            }
            break;
        }
        const TBookmarkItem& item = FBookmarks[folder->second];
        titles.push_back(&item.Title);
        id = item.Parent;
    }
    std::string path;
    for (auto title = titles.rbegin(); title != titles.rend(); ++title) {
        path += (title == titles.rbegin() ? "" : "\\") + **title;
    }
    return path;
}

int TSafari::TooDeepCount() const {
    int count = 0;
    for (int i = 0; i < BookmarkCount(); ++i) {
        bool cut = false;
        if (!Bookmarks(i).IsFolder && (FolderPath(i, &cut), cut)) {
            ++count;
        }
    }
    return count;
}

} // namespace kestrow
