#include "search/search_documents.h"

#include <array>

#include "archive/backup_file.h"
#include "platform/utf8.h"
#include "readers/address_book.h"
#include "readers/calendar.h"
#include "readers/call_log.h"
#include "readers/notes.h"
#include "readers/safari.h"
#include "readers/short_message.h"
#include "readers/voicemail.h"

namespace kestrow {

namespace {

// Category numbers as the session counts them (TCategory).
enum : std::uint8_t { kContacts, kMessages, kCalls, kCalendar, kNotes, kSafari, kVoicemail, kFiles };

constexpr std::array<const char*, 8> kNames = {"contacts", "messages", "calls",     "calendar",
                                               "notes",    "safari",   "voicemail", "files"};

constexpr std::size_t kSummaryCharacters = 100;

// One line of at most kSummaryCharacters characters, without the blank a message often keeps
// before its attachment's place.
std::string SummaryOf(std::string_view text) {
    std::string line = FirstCharacters(text, kSummaryCharacters);
    for (char& c : line) {
        if (c == '\r' || c == '\n' || c == '\t') {
            c = ' ';
        }
    }
    line.erase(line.find_last_not_of(' ') + 1);
    return line;
}

const std::string& FirstNonEmpty(const std::string& a, const std::string& b) {
    return a.empty() ? b : a;
}

std::string Joined(std::initializer_list<const std::string*> parts) {
    std::string text;
    for (const std::string* part : parts) {
        if (!part->empty()) {
            text += text.empty() ? "" : " ";
            text += *part;
        }
    }
    return text;
}

// A document of the record at `where`; a row id when the record has one.
TSearchDoc NewDoc(std::string where, std::string summary) {
    TSearchDoc doc;
    doc.Where = std::move(where);
    doc.Summary = std::move(summary);
    return doc;
}

void SetRowId(TSearchDoc& doc, std::int64_t rowId) {
    doc.RowId = rowId;
    doc.HasRowId = true;
}

// Each category's documents come from one function: a new searchable text is one more field here.

TSearchDoc ContactDoc(const TAddressBook& book, int record) {
    const TAbPerson& person = book.GetPerson(record);
    const std::string& where = FirstNonEmpty(person.Name, person.Organization);
    TSearchDoc doc = NewDoc(where, where);
    SetRowId(doc, person.RowId);
    // The display name is made of these.
    doc.Fields.push_back({"name", Joined({&person.Prefix, &person.First, &person.Middle, &person.Last,
                                          &person.Suffix, &person.Nickname})});
    doc.Fields.push_back(
        {"organization", Joined({&person.Organization, &person.Department, &person.JobTitle})});
    for (const TAbMultiValue& value : person.MultiValues) {
        if (value.Property == abpPhone) {
            doc.Fields.push_back({"phone", value.Value, true});
        } else if (value.Property == abpEmail) {
            doc.Fields.push_back({"email", value.Value});
        }
    }
    doc.Fields.push_back({"note", person.Note});
    return doc;
}

TSearchDoc ConversationDoc(const TMsgGroup& group, bool fields) {
    TSearchDoc doc = NewDoc(group.DisplayName, group.DisplayName);
    if (fields) {
        doc.Fields.push_back({"name", group.DisplayName});
        if (!group.GroupName.empty() && group.GroupName != group.DisplayName) {
            doc.Fields.push_back({"group name", group.GroupName}); // named after its members instead
        }
        doc.Fields.push_back({"members", group.Addresses, true});
    }
    return doc;
}

TSearchDoc MessageDoc(const TMsgGroup& group, int index, bool fields) {
    const TMsgItem& item = group.Items.at(static_cast<std::size_t>(index));
    TSearchDoc doc = NewDoc(group.DisplayName, {});
    SetRowId(doc, item.RowId);
    if (item.Event) { // "Anna added Ben", "You named the conversation “Trip”"
        std::string line = item.EventText();
        doc.Summary = SummaryOf(line);
        if (fields) {
            doc.Fields.push_back({"event", std::move(line)});
        }
        return doc;
    }
    std::string text = item.Text;
    std::string attachments;
    for (const TMsgPiece& piece : item.Pieces) {
        std::string& target = piece.Kind == mpkText ? text : attachments;
        const std::string& part = piece.Kind == mpkText ? piece.Content : piece.FileName;
        target += target.empty() ? "" : " ";
        target += part.substr(part.find_last_of('/') + 1);
    }
    const std::string shown = WithoutObjectReplacement(text.empty() ? attachments : text);
    doc.Summary = SummaryOf(shown.empty() && item.Unsent ? "Unsent" : shown); // the mark the chat shows
    if (!fields) {
        return doc;
    }
    doc.Fields.push_back({"text", std::move(text)});
    doc.Fields.push_back({"attachment", std::move(attachments)});
    // What the message said before it was edited; the last version is the text it holds now.
    for (const TMsgEdit& edit : item.Edits) {
        if (edit.Text != item.Text) {
            doc.Fields.push_back({"earlier text", edit.Text});
        }
    }
    return doc;
}

TSearchDoc CallDoc(const TCallItem& call) {
    const std::string& where = FirstNonEmpty(call.DisplayName, call.Address);
    TSearchDoc doc = NewDoc(where, Joined({&where, &call.DurationText}));
    doc.Fields.push_back({"number", call.Address, true});
    doc.Fields.push_back({"name", call.DisplayName});
    return doc;
}

TSearchDoc VoicemailDoc(const TVoiceMailItem& item) {
    const std::string& where = FirstNonEmpty(item.DisplayName, item.Sender);
    TSearchDoc doc = NewDoc(where, Joined({&where, &item.DurationText}));
    SetRowId(doc, item.RowId);
    doc.Fields.push_back({"number", item.Sender, true});
    doc.Fields.push_back({"name", item.DisplayName});
    return doc;
}

// A locked note's body is searched once it is opened; until then only its title.
bool Readable(const TNoteItem& note) {
    return note.Lock == TNoteLock::None || note.Lock == TNoteLock::Opened;
}

TSearchDoc NoteDoc(const TNotes& notes, int record, bool fields) {
    const TNoteItem& note = notes.Notes(record);
    TSearchDoc doc = NewDoc(note.Title, SummaryOf(note.Title));
    if (fields) {
        doc.Fields.push_back({"title", note.Title});
        doc.Fields.push_back({"body", Readable(note) ? notes.NoteText(record) : std::string()});
        doc.Fields.push_back({"folder", note.Folder});
    }
    return doc;
}

TSearchDoc CalendarDoc(const TCalendarItem& event) {
    TSearchDoc doc = NewDoc(event.Title, SummaryOf(Joined({&event.Title, &event.Location})));
    doc.Fields.push_back({"title", event.Title});
    doc.Fields.push_back({"location", event.Location});
    doc.Fields.push_back({"description", event.Description});
    return doc;
}

TSearchDoc SafariDoc(const std::string& title, const std::string& url) {
    TSearchDoc doc = NewDoc(title, SummaryOf(title + " " + url));
    doc.Fields.push_back({"title", title});
    doc.Fields.push_back({"url", url});
    return doc;
}

TSearchDoc FileDoc(const std::string& key) {
    TSearchDoc doc = NewDoc(key, key);
    doc.Fields.push_back({"key", key});
    return doc;
}

template <typename TAdd> void MessageRefs(const TShortMessage& messages, const TAdd& add) {
    for (int g = 0; g < messages.GroupCount(); ++g) {
        const TMsgGroup& group = messages.Groups(g);
        add(kMessages, g, -1, 0);
        for (int i = 0; i < group.ItemCount(); ++i) {
            add(kMessages, g, i, group.Items[static_cast<std::size_t>(i)].Date);
        }
    }
}

bool InRange(int index, int count) {
    return index >= 0 && index < count;
}

TSearchDoc MessagesDocOf(const TShortMessage& messages, const TSearchRef& ref, bool fields) {
    if (!InRange(ref.Record, messages.GroupCount())) {
        return {};
    }
    const TMsgGroup& group = messages.Groups(ref.Record);
    if (ref.Sub < 0) {
        return ConversationDoc(group, fields);
    }
    return InRange(ref.Sub, group.ItemCount()) ? MessageDoc(group, ref.Sub, fields) : TSearchDoc{};
}

TSearchDoc SafariDocOf(const TSafari& safari, const TSearchRef& ref) {
    if (ref.Sub == 0 && InRange(ref.Record, safari.BookmarkCount())) {
        const TBookmarkItem& item = safari.Bookmarks(ref.Record);
        return SafariDoc(item.Title, item.Url);
    }
    if (ref.Sub == 1 && InRange(ref.Record, safari.HistoryCount())) {
        const THistoryItem& item = safari.History(ref.Record);
        return SafariDoc(item.Title, item.Url);
    }
    return {};
}

} // namespace

std::vector<TSearchRef> AllSearchRefs(const TSearchSources& s) {
    std::vector<TSearchRef> refs;
    const auto add = [&refs](std::uint8_t category, int record, int sub, double date) {
        refs.push_back({.Date = date, .Record = record, .Sub = sub, .Category = category});
    };
    for (int i = 0; s.Contacts != nullptr && i < s.Contacts->Count(); ++i) {
        add(kContacts, i, -1, s.Contacts->GetPerson(i).Created);
    }
    if (s.Messages != nullptr) {
        MessageRefs(*s.Messages, add);
    }
    for (int i = 0; s.Calls != nullptr && i < s.Calls->Count(); ++i) {
        add(kCalls, i, -1, s.Calls->List()[static_cast<std::size_t>(i)].Date);
    }
    for (int i = 0; s.Calendar != nullptr && i < s.Calendar->Count(); ++i) {
        add(kCalendar, i, -1, s.Calendar->Events(i).StartDate);
    }
    for (int i = 0; s.Notes != nullptr && i < s.Notes->Count(); ++i) {
        add(kNotes, i, -1, s.Notes->Notes(i).ModifiedDate);
    }
    for (int i = 0; s.Safari != nullptr && i < s.Safari->BookmarkCount(); ++i) {
        add(kSafari, i, 0, 0);
    }
    for (int i = 0; s.Safari != nullptr && i < s.Safari->HistoryCount(); ++i) {
        add(kSafari, i, 1, s.Safari->History(i).Date);
    }
    for (int i = 0; s.Voicemail != nullptr && i < s.Voicemail->Count(); ++i) {
        add(kVoicemail, i, -1, s.Voicemail->Voicemails(i).Date);
    }
    for (std::size_t i = 0; s.Files != nullptr && i < s.Files->Size(); ++i) {
        add(kFiles, static_cast<int>(i), -1, 0);
    }
    return refs;
}

TSearchDoc SearchDocOf(const TSearchSources& s, const TSearchRef& ref, bool fields) {
    switch (ref.Category) {
    case kContacts:
        return s.Contacts != nullptr && InRange(ref.Record, s.Contacts->Count())
                   ? ContactDoc(*s.Contacts, ref.Record)
                   : TSearchDoc{};
    case kMessages:
        return s.Messages != nullptr ? MessagesDocOf(*s.Messages, ref, fields) : TSearchDoc{};
    case kCalls:
        return s.Calls != nullptr && InRange(ref.Record, s.Calls->Count())
                   ? CallDoc(s.Calls->List()[static_cast<std::size_t>(ref.Record)])
                   : TSearchDoc{};
    case kCalendar:
        return s.Calendar != nullptr && InRange(ref.Record, s.Calendar->Count())
                   ? CalendarDoc(s.Calendar->Events(ref.Record))
                   : TSearchDoc{};
    case kNotes:
        return s.Notes != nullptr && InRange(ref.Record, s.Notes->Count())
                   ? NoteDoc(*s.Notes, ref.Record, fields)
                   : TSearchDoc{};
    case kSafari:
        return s.Safari != nullptr ? SafariDocOf(*s.Safari, ref) : TSearchDoc{};
    case kVoicemail:
        return s.Voicemail != nullptr && InRange(ref.Record, s.Voicemail->Count())
                   ? VoicemailDoc(s.Voicemail->Voicemails(ref.Record))
                   : TSearchDoc{};
    case kFiles:
        return s.Files != nullptr && InRange(ref.Record, static_cast<int>(s.Files->Size()))
                   ? FileDoc(s.Files->At(static_cast<std::size_t>(ref.Record)).first)
                   : TSearchDoc{};
    default:
        return {};
    }
}

const char* SearchCategoryName(int category) {
    return category >= 0 && category < static_cast<int>(kNames.size())
               ? kNames[static_cast<std::size_t>(category)]
               : "";
}

int SearchCategoryOf(std::string_view name) {
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (name == kNames[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace kestrow
