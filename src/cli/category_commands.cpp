#include "cli/category_commands.h"

#include <algorithm>
#include <iostream>
#include <string_view>
#include <unordered_map>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "cli/display_text.h"
#include "cli/password_input.h"
#include "export/note_media.h"
#include "platform/date_time.h"

namespace kestrow {

namespace {

using TJson = nlohmann::ordered_json;

std::string Dump(const TJson& value) {
    return value.dump(2, ' ', false, nlohmann::json::error_handler_t::strict);
}

// A reader's date as JSON: ISO 8601 with the offset the session gave the reader, or null.
TJson JsonDate(double days, int utcOffset) {
    return days == 0 ? TJson(nullptr) : TJson(IsoDateTimeText(days, utcOffset));
}

std::string PlainDate(double days) {
    return days == 0 ? "-" : DateTimeText(days);
}

// A failed category says why on stderr (the log line of the session) and ends with 66.
int CategoryFailure(const TIpodBackup& session, int category) {
    std::cerr << EscapeText(session.CategoryError(category)) << '\n';
    return kExitCategoryFailed;
}

const char* CallKindName(std::int32_t kind) {
    static constexpr const char* kNames[] = {"incoming",     "outgoing",        "missed",       "facetime-in",
                                             "facetime-out", "facetime-missed", "not-connected"};
    return kind >= 0 && kind <= 6 ? kNames[kind] : "unknown";
}

TJson TextOrNull(const std::string& text) {
    return text.empty() ? TJson(nullptr) : TJson(JsonText(text));
}

TJson PartsJson(TIpodBackup& session, const std::vector<TMsgPiece>& pieces) {
    TJson parts = TJson::array();
    for (const TMsgPiece& piece : pieces) {
        parts.push_back({{"rowId", piece.RowId},
                         {"kind", piece.Kind},
                         {"fileName", JsonText(piece.FileName)},
                         {"content", JsonText(piece.Content)},
                         {"mimeType", piece.Kind == mpkText ? TJson(nullptr) : TextOrNull(piece.Content)},
                         {"transferName", TextOrNull(piece.TransferName)},
                         {"totalBytes", piece.TotalBytes < 0 ? TJson(nullptr) : TJson(piece.TotalBytes)},
                         {"inBackup", session.MessagePartInBackup(piece)},
                         {"hidden", piece.Hidden}});
    }
    return parts;
}

const char* ReactionTypeName(TReactionType type) {
    static constexpr const char* kNames[] = {"love",      "like",     "dislike", "laugh",
                                             "emphasize", "question", "emoji",   "sticker"};
    return kNames[static_cast<int>(type)];
}

const char* EventTypeName(TGroupEventType type) {
    static constexpr const char* kNames[] = {"added",   "removed",      "left",
                                             "renamed", "photoChanged", "photoRemoved"};
    return kNames[static_cast<int>(type)];
}

TJson MessageJson(TIpodBackup& session, const TMsgItem& item) {
    const int utcOffset = session.TzOffset();
    TJson reactions = TJson::array();
    for (const TMsgReaction& reaction : item.Reactions) {
        reactions.push_back({{"type", ReactionTypeName(reaction.Type)},
                             {"emoji", TextOrNull(reaction.Emoji)},
                             {"fromMe", reaction.FromMe},
                             {"sender", TextOrNull(reaction.Sender)},
                             {"date", JsonDate(reaction.Date, utcOffset)},
                             {"parts", PartsJson(session, reaction.Pieces)}});
    }
    TJson edits = TJson::array();
    for (const TMsgEdit& edit : item.Edits) {
        edits.push_back({{"date", JsonDate(edit.Date, utcOffset)}, {"text", JsonText(edit.Text)}});
    }
    TJson event = nullptr;
    if (item.Event) {
        event = {{"type", EventTypeName(item.Event->Type)},
                 {"other", TextOrNull(item.Event->Other)},
                 {"name", item.Event->Type == TGroupEventType::Renamed ? TextOrNull(item.Event->Name)
                                                                       : TJson(nullptr)}};
    }
    return {{"rowId", item.RowId},
            {"date", JsonDate(item.Date, utcOffset)},
            {"text", JsonText(item.Text)},
            {"fullText", JsonText(item.FullText())},
            {"isSent", item.IsSent},
            {"isIMessage", item.IsIMessage},
            {"senderIndex", item.SenderIndex},
            {"parts", PartsJson(session, item.Pieces)},
            {"guid", TextOrNull(item.Guid)},
            {"kind", item.Kind == TMsgRowKind::Event ? "event" : "message"},
            {"reactions", std::move(reactions)},
            {"edited", item.Edited},
            {"edits", std::move(edits)},
            {"unsent", item.Unsent},
            {"replyTo", TextOrNull(item.ReplyTo)},
            {"deleted", item.Deleted},
            {"event", std::move(event)},
            {"sender", item.IsSent ? TJson(nullptr) : TextOrNull(item.Sender)}};
}

// The conversations as one JSON array written record by record: a conversation's fields, then its
// messages one per line, so that memory holds one message at a time however long the backup.
void StreamConversationsJson(TIpodBackup& session, const TShortMessage* messages) {
    std::cout << '[';
    for (int g = 0; messages != nullptr && g < messages->GroupCount(); ++g) {
        const TMsgGroup& group = messages->Groups(g);
        TJson head = {{"displayName", JsonText(group.DisplayName)},
                      {"addresses", JsonText(group.Addresses)},
                      {"isGroupChat", group.IsGroupChat},
                      {"isIMessage", group.IsIMessage},
                      {"groupName", TextOrNull(group.GroupName)}};
        std::string opening = head.dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
        opening.pop_back(); // the closing brace: the messages follow
        std::cout << (g == 0 ? "\n  " : ",\n  ") << opening << ",\"messages\":[";
        bool first = true;
        for (const TMsgItem& item : group.Items) {
            std::cout
                << (first ? "\n    " : ",\n    ")
                << MessageJson(session, item).dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
            first = false;
        }
        std::cout << (first ? "]}" : "\n  ]}");
    }
    std::cout << "\n]\n";
}

// "Reply to “…”" with the line the reply quotes, as the exports mark it; "Reply" when the message it
// answers is not in the conversation.
std::string ReplyMark(const std::unordered_map<std::string_view, const TMsgItem*>& byGuid,
                      const TMsgItem& item) {
    const auto target = byGuid.find(item.ReplyTo);
    return target == byGuid.end() ? std::string("Reply")
                                  : "Reply to \u201c" + QuoteOf(*target->second) + "\u201d";
}

void PrintConversation(const TMsgGroup& group) {
    std::cout << fmt::format("== {} ({}{}{}, {} messages)\n", EscapeText(group.DisplayName),
                             EscapeText(group.Addresses), group.IsGroupChat ? ", group chat" : "",
                             group.IsIMessage ? ", iMessage" : "", group.ItemCount());
    std::unordered_map<std::string_view, const TMsgItem*> byGuid; // the messages replies quote
    for (const TMsgItem& item : group.Items) {
        if (!item.Guid.empty()) {
            byGuid.try_emplace(item.Guid, &item);
        }
    }
    for (const TMsgItem& item : group.Items) {
        if (item.Kind == TMsgRowKind::Event) {
            std::cout << PlainDate(item.Date) << "\t--\t" << EscapeText(item.EventText()) << '\n';
            continue;
        }
        std::cout << PlainDate(item.Date) << '\t' << (item.IsSent ? "<<" : ">>") << '\t';
        if (group.IsGroupChat && !item.IsSent && !item.Sender.empty()) {
            std::cout << EscapeText(item.SenderName) << ": ";
        }
        std::cout << EscapeText(item.Text);
        if (!item.ReplyTo.empty()) {
            std::cout << "\t[" << EscapeText(ReplyMark(byGuid, item)) << ']';
        }
        for (const TMsgPiece& piece : item.Pieces) {
            std::cout << "\t["
                      << (piece.Kind == mpkText ? EscapeText(piece.Content) : EscapeText(piece.FileName))
                      << ']';
        }
        for (const std::string& mark : item.Marks()) {
            std::cout << "\t[" << EscapeText(mark) << ']';
        }
        std::cout << '\n';
    }
}

TJson ContactJson(const TAddressBook& book, int index, bool hasPhoto) {
    const TAbPerson& person = book.GetPerson(index);
    TJson values = TJson::array();
    for (const TAbMultiValue& value : person.MultiValues) {
        TJson entry = {
            {"property", value.Property},     {"identifier", value.Identifier},
            {"label", value.Label},           {"labelText", JsonText(value.LabelText(book.Names()))},
            {"value", JsonText(value.Value)}, {"valueText", JsonText(value.ValueText())}};
        if (value.Property == abpAddress) {
            TJson entries = TJson::array();
            for (const TAbMultiEntry& part : value.Entries) {
                const std::string* key = book.Names().EntryKey(part.Key);
                entries.push_back({{"key", key != nullptr ? TJson(JsonText(*key)) : TJson(nullptr)},
                                   {"value", JsonText(part.Value)}});
            }
            entry["entries"] = std::move(entries);
        }
        values.push_back(std::move(entry));
    }
    return {{"rowId", person.RowId},
            {"first", JsonText(person.First)},
            {"middle", JsonText(person.Middle)},
            {"last", JsonText(person.Last)},
            {"nickname", JsonText(person.Nickname)},
            {"prefix", JsonText(person.Prefix)},
            {"suffix", JsonText(person.Suffix)},
            {"organization", JsonText(person.Organization)},
            {"department", JsonText(person.Department)},
            {"jobTitle", JsonText(person.JobTitle)},
            {"note", JsonText(person.Note)},
            {"displayName", JsonText(person.Name)},
            {"birthday",
             person.Birthday == 0 ? TJson(nullptr) : TJson(IsoLocalText(person.Birthday).substr(0, 10))},
            {"multiValues", std::move(values)},
            {"hasThumbnail", person.ThumbnailData.has_value()},
            {"hasPhoto", hasPhoto}};
}

void PrintContact(const TAddressBook& book, int index) {
    const TAbPerson& person = book.GetPerson(index);
    std::cout << EscapeText(person.Name.empty() ? person.Organization : person.Name);
    for (const TAbMultiValue& value : person.MultiValues) {
        std::cout << '\t' << EscapeText(value.LabelText(book.Names())) << ": "
                  << EscapeText(value.ValueText());
    }
    std::cout << '\n';
}

} // namespace

int RunContacts(const TCliOptions& options, int index, bool json) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    const TAddressBook* book = session.LoadContacts(true);
    if (session.CategoryState(catContacts) == TCategoryState::Failed) {
        return CategoryFailure(session, catContacts);
    }
    TJson list = TJson::array();
    std::vector<std::string> warnings; // pictures that could not be read, each reason once
    for (int i = 0; book != nullptr && i < book->Count(); ++i) {
        if (json) {
            std::string error;
            const bool hasPhoto = session.LoadContactPhoto(i, error).has_value();
            if (!error.empty() && std::find(warnings.begin(), warnings.end(), error) == warnings.end()) {
                warnings.push_back(error);
            }
            list.push_back(ContactJson(*book, i, hasPhoto));
        } else {
            PrintContact(*book, i);
        }
    }
    if (json) {
        std::cout << Dump(list) << '\n';
    }
    for (const std::string& warning : warnings) {
        std::cerr << "warning: " << EscapeText(warning) << '\n';
    }
    return 0;
}

// Opens the backup and loads one category; on failure `exit` is set to what the command returns.
template <typename TLoad>
auto LoadCategory(TIpodBackup& session, int category, const TLoad& load, int& exit) -> decltype(load()) {
    auto* reader = load();
    exit = session.CategoryState(category) == TCategoryState::Failed ? CategoryFailure(session, category) : 0;
    return exit == 0 ? reader : nullptr;
}

int RunCalendar(const TCliOptions& options, int index, bool json) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    int exit = 0;
    const TCalendar* calendar = LoadCategory(
        session, catCalendar, [&] { return session.LoadCalendar(); }, exit);
    TJson list = TJson::array();
    for (int i = 0; calendar != nullptr && i < calendar->Count(); ++i) {
        const TCalendarItem& event = calendar->Events(i);
        if (json) {
            list.push_back({{"title", JsonText(event.Title)},
                            {"location", JsonText(event.Location)},
                            {"description", JsonText(event.Description)},
                            {"allDay", event.AllDay},
                            {"calendarId", event.CalendarId},
                            {"start", JsonDate(event.StartDate, session.TzOffset())},
                            {"end", JsonDate(event.EndDate, session.TzOffset())}});
        } else {
            std::cout << PlainDate(event.StartDate) << '\t' << PlainDate(event.EndDate) << '\t'
                      << (event.AllDay ? "all day" : "-") << '\t' << EscapeText(event.Title) << '\t'
                      << EscapeText(event.Location) << '\n';
        }
    }
    if (json && exit == 0) {
        std::cout << Dump(list) << '\n';
    }
    return exit;
}

bool OpenLockedNotes(TNotes& notes, const std::string& notesPasswordFile) {
    std::string error;
    const auto passwords = ReadNotePasswords(notesPasswordFile, error);
    if (!passwords) {
        std::cerr << error << '\n';
        return false;
    }
    if (!passwords->empty()) {
        notes.OpenLockedNotes(*passwords);
    }
    int waiting = 0;
    for (int i = 0; i < notes.Count(); ++i) {
        const TNoteItem& note = notes.Notes(i);
        const TNoteOpenResult why = note.Lock == TNoteLock::Passcode  ? TNoteOpenResult::Passcode
                                    : note.Lock == TNoteLock::Damaged ? TNoteOpenResult::Damaged
                                    : note.Lock == TNoteLock::Locked && !passwords->empty()
                                        ? TNoteOpenResult::WrongPassword
                                        : TNoteOpenResult::Opened;
        waiting += note.Lock == TNoteLock::Locked && passwords->empty() ? 1 : 0;
        if (why != TNoteOpenResult::Opened) {
            std::cerr << fmt::format("Note {} \"{}\": {}\n", i, EscapeText(note.Title), NoteOpenText(why));
        }
        if (note.Cut) {
            std::cerr << fmt::format(
                "Note {} \"{}\": not read, the notes before it used the size allowed for "
                "note bodies.\n",
                i, EscapeText(note.Title));
        }
    }
    if (waiting > 0) {
        std::cerr << "Locked notes not opened: " << waiting
                  << "; give their password with --notes-password-file or KESTROW_NOTES_PASSWORD.\n";
    }
    return true;
}

namespace {

TJson NoteAttachmentsJson(const TNoteItem& note, const TNoteMedia& media) {
    TJson list = TJson::array();
    for (const TNoteAttachment& attachment : note.Attachments) {
        const std::string key = media.KeyOf(note, attachment);
        // Tables and URL cards live in the store itself; everything else is a file of the backup.
        const bool inStore =
            attachment.Kind == TNoteAttachmentKind::Table || attachment.Kind == TNoteAttachmentKind::UrlCard;
        list.push_back({{"type", NoteAttachmentKindName(attachment.Kind)},
                        {"name", JsonText(attachment.Name)},
                        {"key", key.empty() ? TJson(nullptr) : TJson(JsonText(key))},
                        {"inBackup", inStore || !key.empty()}});
    }
    return list;
}

} // namespace

int RunNotes(const TCliOptions& options, int index, bool json, const std::string& notesPasswordFile) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    int exit = 0;
    TNotes* notes = LoadCategory(
        session, catNotes, [&] { return session.LoadNotes(); }, exit);
    if (notes != nullptr && !OpenLockedNotes(*notes, notesPasswordFile)) {
        return kExitUsage;
    }
    const TNoteMedia media(session.Files());
    TJson list = TJson::array();
    for (int i = 0; notes != nullptr && i < notes->Count(); ++i) {
        const TNoteItem& note = notes->Notes(i);
        if (json) {
            list.push_back({{"title", JsonText(note.Title)},
                            {"body", JsonText(note.Body)},
                            {"text", JsonText(notes->NoteText(i))},
                            {"modified", JsonDate(note.ModifiedDate, session.TzOffset())},
                            {"folder", JsonText(note.Folder)},
                            {"account", JsonText(note.Account)},
                            {"created", JsonDate(note.CreatedDate, session.TzOffset())},
                            {"pinned", note.Pinned},
                            {"deleted", note.Deleted},
                            {"locked", note.Lock != TNoteLock::None},
                            {"unlocked", note.Lock == TNoteLock::Opened},
                            {"attachments", NoteAttachmentsJson(note, media)}});
        } else {
            std::cout << PlainDate(note.ModifiedDate) << '\t' << EscapeText(note.Title) << '\t'
                      << EscapeText(note.Folder) << '\t' << EscapeText(notes->NoteText(i)) << '\n';
        }
    }
    if (json && exit == 0) {
        std::cout << Dump(list) << '\n';
    }
    return exit;
}

int RunSafari(const TCliOptions& options, int index, bool json) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    int exit = 0;
    const TSafari* safari = LoadCategory(
        session, catBookmarks, [&] { return session.LoadSafari(); }, exit);
    if (exit != 0) {
        return exit;
    }
    TJson bookmarks = TJson::array();
    TJson history = TJson::array();
    for (int i = 0; safari != nullptr && i < safari->BookmarkCount(); ++i) {
        const TBookmarkItem& item = safari->Bookmarks(i);
        if (json) {
            bookmarks.push_back({{"title", JsonText(item.Title)},
                                 {"url", JsonText(item.Url)},
                                 {"isFolder", item.IsFolder},
                                 {"parent", item.Parent},
                                 {"folderPath", JsonText(safari->FolderPath(i))}});
        } else {
            std::cout << "bookmark\t" << EscapeText(safari->FolderPath(i)) << '\t' << EscapeText(item.Title)
                      << '\t' << (item.IsFolder ? "(folder)" : EscapeText(item.Url)) << '\n';
        }
    }
    for (int i = 0; safari != nullptr && i < safari->HistoryCount(); ++i) {
        const THistoryItem& item = safari->History(i);
        if (json) {
            history.push_back({{"title", JsonText(item.Title)},
                               {"url", JsonText(item.Url)},
                               {"date", JsonDate(item.Date, session.TzOffset())}});
        } else {
            std::cout << "history\t" << PlainDate(item.Date) << '\t' << EscapeText(item.Title) << '\t'
                      << EscapeText(item.Url) << '\n';
        }
    }
    if (json) {
        std::cout << Dump({{"bookmarks", std::move(bookmarks)}, {"history", std::move(history)}}) << '\n';
    }
    return 0;
}

int RunVoicemail(const TCliOptions& options, int index, bool json) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    int exit = 0;
    const TVoiceMail* voicemail = LoadCategory(
        session, catVoicemails, [&] { return session.LoadVoiceMail(); }, exit);
    session.ResolveVoiceMailNames();
    TJson list = TJson::array();
    for (int i = 0; voicemail != nullptr && i < voicemail->Count(); ++i) {
        const TVoiceMailItem& item = voicemail->Voicemails(i);
        const bool inBackup = session.Files().Contains(item.AudioPath());
        if (json) {
            list.push_back({{"rowId", item.RowId},
                            {"sender", JsonText(item.Sender)},
                            {"displayName", JsonText(item.DisplayName)},
                            {"date", JsonDate(item.Date, session.TzOffset())},
                            {"duration", item.Duration},
                            {"durationText", item.DurationText},
                            {"flags", item.Flags},
                            {"audioPath", item.AudioPath()},
                            {"audioInBackup", inBackup}});
        } else {
            std::cout << PlainDate(item.Date) << '\t' << EscapeText(item.Sender) << '\t'
                      << EscapeText(item.DisplayName) << '\t' << item.DurationText << '\t' << item.AudioPath()
                      << (inBackup ? "" : " (not in the backup)") << '\n';
        }
    }
    if (json && exit == 0) {
        std::cout << Dump(list) << '\n';
    }
    return exit;
}

int RunCalls(const TCliOptions& options, int index, bool json) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    TCallLog* calls = session.LoadCallLog();
    if (session.CategoryState(catCalls) == TCategoryState::Failed) {
        return CategoryFailure(session, catCalls);
    }
    session.ResolveCallNames();
    TJson list = TJson::array();
    for (int i = 0; calls != nullptr && i < calls->Count(); ++i) {
        const TCallItem& call = *calls->Calls(i);
        if (json) {
            list.push_back({{"address", JsonText(call.Address)},
                            {"date", JsonDate(call.Date, session.TzOffset())},
                            {"duration", call.Duration},
                            {"durationText", call.DurationText},
                            {"kind", call.CallKind},
                            {"contactId", call.ContactId},
                            {"displayName", JsonText(call.DisplayName)}});
        } else {
            std::cout << PlainDate(call.Date) << '\t' << CallKindName(call.CallKind) << '\t'
                      << EscapeText(call.Address) << '\t' << EscapeText(call.DisplayName) << '\t'
                      << call.DurationText << '\n';
        }
    }
    if (json) {
        std::cout << Dump(list) << '\n';
    }
    return 0;
}

int RunMessages(const TCliOptions& options, int index, bool json) {
    const TOpenedSession opened = OpenSession(options, index);
    if (opened.Status != osOpened) {
        return opened.Status;
    }
    TIpodBackup& session = *opened.Session;
    TShortMessage* messages = session.LoadMessages();
    if (session.CategoryState(catMessages) == TCategoryState::Failed) {
        return CategoryFailure(session, catMessages);
    }
    session.ResolveMessageNames();
    if (json) {
        StreamConversationsJson(session, messages);
        return 0;
    }
    for (int g = 0; messages != nullptr && g < messages->GroupCount(); ++g) {
        PrintConversation(messages->Groups(g));
    }
    return 0;
}

} // namespace kestrow
