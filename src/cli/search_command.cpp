#include "cli/search_command.h"

#include <algorithm>
#include <cerrno>
#include <iostream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "cli/category_commands.h"
#include "cli/display_text.h"
#include "export/export_file.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/iso8601.h"
#include "readers/notes.h"
#include "search/search_csv.h"
#include "search/search_index.h"

namespace kestrow {

namespace {

using TJson = nlohmann::ordered_json;

constexpr double kMillisecondDays = 1.0 / 86'400'000.0;

bool ParseCategories(const std::vector<std::string>& names, TCategoryFilter& categories) {
    for (const std::string& name : names) {
        const int category = SearchCategoryOf(name);
        if (category < 0) {
            std::cerr << fmt::format("Unknown category {}: contacts, messages, calls, calendar, notes, "
                                     "safari, voicemail or files.\n",
                                     EscapeText(name));
            return false;
        }
        categories.push_back(category);
    }
    return true;
}

// A date of the command line as a local day count of the session: a text naming a zone is an
// instant, any other the local date-time it reads as. `endOfDay` takes a bare date to its last
// millisecond.
bool ParseDate(const std::string& text, int utcOffset, bool endOfDay, double& days) {
    if (text.empty()) {
        days = 0;
        return true;
    }
    const std::optional<std::int64_t> ms = ParseIso8601(text);
    if (!ms) {
        std::cerr << fmt::format("Not an ISO 8601 date: {}\n", EscapeText(text));
        return false;
    }
    const std::size_t time = text.find_first_of("Tt ");
    const bool zoned = time != std::string::npos && text.find_first_of("Zz+-", time) != std::string::npos;
    days = UnixMsToDays(*ms) + (zoned ? utcOffset / kSecondsPerDay : 0.0);
    if (endOfDay && time == std::string::npos) {
        days += 1 - kMillisecondDays;
    }
    return true;
}

// Categories that could not be read are said on stderr; the others are searched.
void ReportFailedCategories(const TIpodBackup& session) {
    for (int category = 0; category < TBackupReaders::kCategories; ++category) {
        if (session.CategoryState(category) == TCategoryState::Failed) {
            std::cerr << fmt::format("{} not searched: {}\n", SearchCategoryName(category),
                                     EscapeText(session.CategoryError(category)));
        }
    }
}

TJson HitJson(const TSearchHit& hit, int utcOffset) {
    TJson entry = {
        {"category", SearchCategoryName(hit.Ref.Category)},
        {"date", hit.Ref.Date == 0 ? TJson(nullptr) : TJson(IsoDateTimeText(hit.Ref.Date, utcOffset))},
        {"record", hit.Ref.Record}};
    if (SearchCategoryOf("safari") == hit.Ref.Category) {
        entry["list"] = hit.Ref.Sub == 0 ? "bookmarks" : "history";
    }
    if (hit.HasRowId) {
        entry["rowId"] = hit.RowId;
    }
    entry["where"] = JsonText(hit.Where);
    return entry;
}

std::string PlainDate(double days) {
    return days == 0 ? "-" : DateTimeText(days);
}

// Writes the CSV into a new file outside every backup folder; the count and the file on stdout.
int WriteCsv(const TIpodBackup& session, const std::string& path, const std::string& csv, std::size_t count) {
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int error = session.CheckDestination(folder);
    if (error == 0) {
        error = WriteNewFile(path, csv);
    }
    if (error != 0) {
        std::cerr << fmt::format("Cannot write {}: {}\n", EscapeText(path), ErrorText(error));
        return kExitFailure;
    }
    std::cout << count << " exported\n" << EscapeText(path) << '\n';
    return 0;
}

// Opens the backup and checks the request; `exit` is what the command returns when this fails.
std::unique_ptr<TIpodBackup> Prepare(const TCliOptions& options, const TSearchRequest& request,
                                     TCategoryFilter& categories, int& exit) {
    exit = ParseCategories(request.Categories, categories) ? 0 : kExitUsage;
    if (exit != 0 || (!request.Csv.empty() && !RequireDestination(request.Csv))) {
        exit = kExitUsage;
        return nullptr;
    }
    TOpenedSession opened = OpenSession(options, request.Index);
    exit = opened.Status;
    return opened.Status == osOpened ? std::move(opened.Session) : nullptr;
}

} // namespace

int RunSearch(const TCliOptions& options, const TSearchRequest& request, const std::string& text) {
    TCategoryFilter categories;
    int exit = 0;
    const std::unique_ptr<TIpodBackup> session = Prepare(options, request, categories, exit);
    if (session == nullptr) {
        return exit;
    }
    TNotes* notes = categories.empty() || std::count(categories.begin(), categories.end(), catNotes) > 0
                        ? session->LoadNotes()
                        : nullptr;
    if (notes != nullptr && !OpenLockedNotes(*notes, request.NotesPasswordFile)) {
        return kExitUsage; // the password file does not read
    }
    TSearchIndex index(*session);
    const std::vector<TSearchHit> hits = index.Search(text, categories);
    ReportFailedCategories(*session);
    const int offset = session->TzOffset();
    if (!request.Csv.empty()) {
        return WriteCsv(*session, request.Csv, SearchCsv(hits, offset), hits.size());
    }
    TJson list = TJson::array();
    for (const TSearchHit& hit : hits) {
        if (request.Json) {
            TJson entry = HitJson(hit, offset);
            entry["field"] = hit.Field;
            entry["snippet"] = JsonText(MarkedSnippet(hit.Snippet));
            list.push_back(std::move(entry));
        } else {
            std::cout << SearchCategoryName(hit.Ref.Category) << '\t' << PlainDate(hit.Ref.Date) << '\t'
                      << EscapeText(hit.Where) << '\t' << EscapeText(MarkedSnippet(hit.Snippet)) << '\n';
        }
    }
    if (request.Json) {
        std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::strict) << '\n';
    }
    return 0;
}

int RunTimeline(const TCliOptions& options, const TSearchRequest& request, const std::string& from,
                const std::string& to) {
    double first = 0;
    double last = 0;
    if (!ParseDate(from, 0, false, first) || !ParseDate(to, 0, true, last)) {
        return kExitUsage; // before any password is asked for
    }
    TCategoryFilter categories;
    int exit = 0;
    const std::unique_ptr<TIpodBackup> session = Prepare(options, request, categories, exit);
    if (session == nullptr) {
        return exit;
    }
    const int offset = session->TzOffset();
    ParseDate(from, offset, false, first);
    ParseDate(to, offset, true, last);
    TSearchIndex index(*session);
    const std::vector<TSearchHit> entries = index.Timeline(first, last, categories);
    ReportFailedCategories(*session);
    if (!request.Csv.empty()) {
        return WriteCsv(*session, request.Csv, TimelineCsv(entries, offset), entries.size());
    }
    TJson list = TJson::array();
    for (const TSearchHit& entry : entries) {
        if (request.Json) {
            TJson item = HitJson(entry, offset);
            item["summary"] = JsonText(entry.Summary);
            list.push_back(std::move(item));
        } else {
            std::cout << PlainDate(entry.Ref.Date) << '\t' << SearchCategoryName(entry.Ref.Category) << '\t'
                      << EscapeText(entry.Where) << '\t' << EscapeText(entry.Summary) << '\n';
        }
    }
    if (request.Json) {
        std::cout << list.dump(2, ' ', false, nlohmann::json::error_handler_t::strict) << '\n';
    }
    return 0;
}

} // namespace kestrow
