#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

class TAddressBook;
class TCalendar;
class TCallLog;
class TNotes;
class TSafari;
class TShortMessage;
class TVoiceMail;
class TFileTable;
struct TMsgGroup;

// A searchable record: its category (the session's category numbers), the index the category's
// command lists it under, and for messages the message within the conversation (-1: the
// conversation itself) or for Safari the list (0 bookmarks, 1 history).
struct TSearchRef {
    double Date = 0; // local day count; 0 when the record has none
    std::int32_t Record = 0;
    std::int32_t Sub = -1;
    std::uint8_t Category = 0;
};

// One searchable text of a record. Phone fields also match digit-wise.
struct TSearchField {
    const char* Name = "";
    std::string Text;
    bool Phone = false;
};

// What a record offers the search and the timeline, made again from the reader whenever asked.
struct TSearchDoc {
    std::string Where;   // the conversation, contact, note ... the record belongs to
    std::string Summary; // a short text for the timeline
    std::vector<TSearchField> Fields;
    std::int64_t RowId = 0;
    bool HasRowId = false;
};

// The loaded readers the search reads (null: the backup has none, or it could not be read).
struct TSearchSources {
    const TAddressBook* Contacts = nullptr;
    const TShortMessage* Messages = nullptr;
    const TCallLog* Calls = nullptr;
    const TCalendar* Calendar = nullptr;
    const TNotes* Notes = nullptr;
    const TSafari* Safari = nullptr;
    const TVoiceMail* Voicemail = nullptr;
    const TFileTable* Files = nullptr;
};

// Every record of the sources, category by category in reader order.
std::vector<TSearchRef> AllSearchRefs(const TSearchSources& sources);
// The document of one record (empty when the reference is out of range). Without `fields` only
// where it belongs, its summary and row id, as the timeline needs them: the large categories
// (messages, notes) then skip their texts.
TSearchDoc SearchDocOf(const TSearchSources& sources, const TSearchRef& ref, bool fields = true);

// The command-line name of a category ("contacts", "messages", ... "safari", "files"); -1 for an
// unknown name.
const char* SearchCategoryName(int category);
int SearchCategoryOf(std::string_view name);

} // namespace kestrow
