#include "search/search_csv.h"

#include "export/export_file.h"
#include "platform/date_time.h"

namespace kestrow {

namespace {

constexpr std::string_view kMarkOpen = "\xC2\xAB";  // «
constexpr std::string_view kMarkClose = "\xC2\xBB"; // »

std::string RowIdText(const TSearchHit& hit) {
    return hit.HasRowId ? std::to_string(hit.RowId) : std::string();
}

void AddRow(std::string& csv, std::initializer_list<std::string_view> cells) {
    bool first = true;
    for (std::string_view cell : cells) {
        csv += first ? "" : ",";
        csv += SpreadsheetCell(cell);
        first = false;
    }
    csv += "\r\n";
}

} // namespace

std::string MarkedSnippet(const TSnippet& snippet) {
    std::string text;
    std::size_t at = 0;
    for (const TTextMark& mark : snippet.Marks) {
        if (mark.Start < at || mark.Start + mark.Length > snippet.Text.size()) {
            continue; // overlapping marks: the first wins
        }
        text.append(snippet.Text, at, mark.Start - at);
        text += kMarkOpen;
        text.append(snippet.Text, mark.Start, mark.Length);
        text += kMarkClose;
        at = mark.Start + mark.Length;
    }
    return text + snippet.Text.substr(at);
}

std::string RecordText(const TSearchRef& ref) {
    const std::string index = std::to_string(ref.Record);
    if (SearchCategoryName(ref.Category) == std::string_view("safari")) {
        return (ref.Sub == 0 ? "bookmarks " : "history ") + index;
    }
    return index;
}

std::string SpreadsheetCell(std::string_view text) {
    const bool formula = !text.empty() && (text.front() == '=' || text.front() == '@');
    return CsvField(formula ? "'" + std::string(text) : std::string(text));
}

std::string SearchCsv(const std::vector<TSearchHit>& hits, int utcOffset) {
    std::string csv(kUtf8Bom);
    AddRow(csv, {"Category", "Date", "Where", "Field", "Record", "Row id", "Snippet"});
    for (const TSearchHit& hit : hits) {
        AddRow(csv, {SearchCategoryName(hit.Ref.Category), IsoDateTimeText(hit.Ref.Date, utcOffset),
                     hit.Where, hit.Field, RecordText(hit.Ref), RowIdText(hit), MarkedSnippet(hit.Snippet)});
    }
    return csv;
}

std::string TimelineCsv(const std::vector<TSearchHit>& entries, int utcOffset) {
    std::string csv(kUtf8Bom);
    AddRow(csv, {"Date", "Category", "Where", "Summary", "Record", "Row id"});
    for (const TSearchHit& entry : entries) {
        AddRow(csv, {IsoDateTimeText(entry.Ref.Date, utcOffset), SearchCategoryName(entry.Ref.Category),
                     entry.Where, entry.Summary, RecordText(entry.Ref), RowIdText(entry)});
    }
    return csv;
}

} // namespace kestrow
