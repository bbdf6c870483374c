#include "readers/short_message.h"

#include <algorithm>
#include <initializer_list>

#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/new_file.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/utf8.h"
#include "readers/binary_plist.h"
#include "readers/record_text.h"
#include "readers/row_id_index.h"
#include "readers/sqlite_database.h"
#include "readers/typedstream.h"

namespace kestrow {

namespace {

constexpr int kGroupChatStyle = 43;
constexpr std::int64_t kSentFlag = 4; // madrid_flags

int CommasBefore(const std::string& text, std::size_t position) {
    return static_cast<int>(
        std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(position), ','));
}

// An MMS part's extension from its content type; empty for a part that is left out.
std::string PieceExtension(const std::string& contentType, std::uint8_t& kind, bool hasData) {
    const auto slash = contentType.find('/');
    const std::string major = contentType.substr(0, slash);
    std::string extension(1, '.');
    extension += AsciiUpper(slash == std::string::npos ? std::string_view()
                                                       : std::string_view(contentType).substr(slash + 1));
    if (SameTextAscii(major, "application")) {
        return {};
    }
    if (SameTextAscii(major, "text")) {
        kind = mpkText;
        return ".TXT";
    }
    if (SameTextAscii(extension, ".JPEG")) {
        extension = ".JPG";
    } else if (SameTextAscii(extension, ".3GPP")) {
        extension = ".3GP";
    }
    kind = hasData ? mpkData : mpkFile;
    return extension;
}

// A query of the named columns of a table, by position; a column this schema generation does not
// have (the attributed body before iOS 6, reactions before iOS 10, edits before iOS 16, or one a
// later version drops) reads as NULL. The names are this program's, never text from a database.
std::string ProbedQuery(TSQLiteDatabase& db, const std::string& table,
                        std::initializer_list<const char*> columns) {
    const std::vector<std::string> present = db.ColumnNames(table);
    std::string sql = "SELECT ";
    bool first = true;
    for (const char* column : columns) {
        const bool has = std::string_view(column) == "ROWID" ||
                         std::find(present.begin(), present.end(), AsciiUpper(column)) != present.end();
        sql += (first ? "" : ",") + (has ? std::string(column) : std::string("NULL"));
        first = false;
    }
    return sql + " FROM " + table;
}

// How the text export names an attachment: the name it was sent under, else its file's name, else
// its type.
std::string PieceName(const TMsgPiece& piece) {
    if (!piece.TransferName.empty()) {
        return piece.TransferName;
    }
    const std::string file = LastPathComponent(piece.FileName);
    return file.empty() ? piece.Content : file;
}

} // namespace

std::string TMsgItem::FullText() const {
    std::string text = Text;
    for (const TMsgPiece& piece : Pieces) {
        text += piece.Content;
    }
    return text;
}

std::string TMsgItem::HtmlText() const {
    return HtmlEscape(Text);
}

std::string TMsgItem::PieceHtmlText(int index) const {
    return HtmlEscape(Pieces.at(static_cast<std::size_t>(index)).Content);
}

std::string TMsgItem::EventText() const {
    if (!Event) {
        return {};
    }
    const std::string actor = Sender.empty() ? "You" : SenderName.empty() ? Sender : SenderName;
    const std::string other = Event->OtherName.empty() ? Event->Other : Event->OtherName;
    switch (Event->Type) {
    case TGroupEventType::Added:
        return actor + " added " + other;
    case TGroupEventType::Removed:
        return actor + " removed " + other;
    case TGroupEventType::Left:
        return actor + " left";
    case TGroupEventType::Renamed:
        return Event->Name.empty() ? actor + " removed the name of the conversation"
                                   : actor + " named the conversation \u201c" + Event->Name + "\u201d";
    case TGroupEventType::PhotoChanged:
        return actor + " changed the group photo";
    case TGroupEventType::PhotoRemoved:
        return actor + " removed the group photo";
    }
    return {};
}

std::string ReactionSymbol(const TMsgReaction& reaction) {
    static constexpr const char* kSymbols[] = {"\u2665",     "\U0001F44D", "\U0001F44E",
                                               "\U0001F602", "\u203C",     "?"};
    switch (reaction.Type) {
    case TReactionType::Emoji:
        return reaction.Emoji;
    case TReactionType::Sticker:
        return "Sticker";
    default:
        return kSymbols[static_cast<int>(reaction.Type)];
    }
}

std::string QuoteOf(const TMsgItem& target) {
    std::string text = target.Text;
    if (text.empty() && target.PieceCount() > 0) {
        text =
            target.Pieces[0].TransferName.empty() ? target.Pieces[0].Content : target.Pieces[0].TransferName;
    }
    text = text.substr(0, text.find_first_of("\r\n"));
    constexpr std::size_t kQuoteBytes = 80;
    if (text.size() > kQuoteBytes) {
        std::size_t cut = kQuoteBytes;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut; // never inside a character
        }
        text = text.substr(0, cut) + "\u2026";
    }
    return text;
}

std::vector<std::string> TMsgItem::Marks() const {
    std::vector<std::string> marks;
    if (Unsent || UnsentParts > 0) {
        marks.emplace_back("Unsent");
    }
    if (Edited) {
        marks.emplace_back("Edited");
        for (const TMsgEdit& edit : Edits) {
            marks.push_back(DateTimeText(edit.Date) + ": " + edit.Text);
        }
    }
    if (Deleted) {
        marks.emplace_back("Deleted");
    }
    if (!Reactions.empty()) {
        std::string line;
        for (const TMsgReaction& reaction : Reactions) {
            line += (line.empty() ? "" : ", ") + ReactionSymbol(reaction) + " " +
                    (reaction.FromMe               ? std::string("You")
                     : reaction.SenderName.empty() ? reaction.Sender
                                                   : reaction.SenderName);
        }
        marks.push_back(std::move(line));
    }
    return marks;
}

std::string TMsgGroup::AsText() const {
    std::unordered_map<std::string_view, const TMsgItem*> byGuid;
    for (const TMsgItem& item : Items) {
        if (!item.ReplyTo.empty()) {
            for (const TMsgItem& each : Items) {
                if (!each.Guid.empty()) {
                    byGuid.try_emplace(each.Guid, &each);
                }
            }
            break;
        }
    }
    std::string text;
    for (const TMsgItem& item : Items) {
        if (item.Kind == TMsgRowKind::Event) {
            text += "-- " + DateTimeText(item.Date) + "\r\n" + item.EventText() + "\r\n\r\n";
            continue;
        }
        text += item.IsSent ? "<< " : ">> ";
        text += DateTimeText(item.Date);
        text += "\r\n";
        if (IsGroupChat && !item.IsSent && !item.Sender.empty()) {
            text += (item.SenderName.empty() ? item.Sender : item.SenderName) + ":\r\n";
        }
        if (!item.ReplyTo.empty()) {
            const auto target = byGuid.find(item.ReplyTo);
            text += target == byGuid.end() ? std::string("Reply\r\n")
                                           : "Reply to \u201c" + QuoteOf(*target->second) + "\u201d\r\n";
        }
        text += item.FullText();
        text += "\r\n";
        for (const TMsgPiece& piece : item.Pieces) {
            if (piece.Hidden) {
                text += "[Hidden attachment: " + PieceName(piece) + "]\r\n";
            } else if (!piece.TransferName.empty()) {
                text += "[Attachment: " + piece.TransferName + "]\r\n";
            }
        }
        for (const std::string& mark : item.Marks()) {
            text += "[" + mark + "]\r\n";
        }
        for (const TMsgReaction& reaction : item.Reactions) {
            for (const TMsgPiece& piece : reaction.Pieces) {
                text += "[Sticker: " + PieceName(piece) + "]\r\n";
            }
        }
        text += "\r\n";
    }
    return text;
}

TMsgSummary ReadMessageSummary(std::string_view data) {
    TMsgSummary summary;
    TBinaryPlist plist;
    if (!plist.Open(data)) {
        return summary;
    }
    std::optional<std::uint64_t> values[2];
    if (!plist.DictValues(plist.Root(), {"ec", "rp"}, values)) {
        return summary;
    }
    if (values[1]) {
        summary.UnsentParts =
            static_cast<int>(std::min<std::uint64_t>(plist.Count(*values[1]).value_or(0), 1u << 20));
    }
    const auto parts = values[0] ? plist.Count(*values[0]) : std::nullopt;
    if (!parts || plist.TypeOf(*values[0]) != TBinaryPlist::TType::Dict) {
        return summary;
    }
    // Parts in the order of their numbers; each part's versions as stored, oldest first.
    std::vector<std::pair<std::int64_t, std::uint64_t>> ordered;
    for (std::uint64_t i = 0; i < *parts; ++i) {
        const auto key = plist.Reference(*values[0], i);
        const auto value = plist.Reference(*values[0], *parts + i);
        const auto name = key ? plist.Ascii(*key) : std::nullopt;
        if (!value || !name) {
            continue;
        }
        std::int64_t number = 0;
        for (const char c : name->substr(0, 9)) {
            number = c >= '0' && c <= '9' ? number * 10 + (c - '0') : number;
        }
        ordered.emplace_back(number, *value);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [number, versions] : ordered) {
        const std::uint64_t count = plist.Count(versions).value_or(0);
        if (plist.TypeOf(versions) != TBinaryPlist::TType::Array) {
            continue;
        }
        for (std::uint64_t v = 0; v + 1 < count; ++v) { // the last version is the current text
            const auto version = plist.Reference(versions, v);
            std::optional<std::uint64_t> fields[2];
            if (!version || !plist.DictValues(*version, {"d", "t"}, fields)) {
                continue;
            }
            double date = 0;
            if (fields[0]) {
                if (const auto integer = plist.Integer(*fields[0])) {
                    date = static_cast<double>(*integer);
                } else {
                    date = plist.Real(*fields[0]).value_or(0);
                }
            }
            const auto text = fields[1] ? plist.Data(*fields[1]) : std::nullopt;
            summary.Edits.emplace_back(date, text ? AttributedBodyText(*text) : std::string());
        }
    }
    return summary;
}

std::string AttachmentGuidOf(std::string_view blob) {
    if (blob.size() < 50) {
        return {};
    }
    for (std::size_t i = 0; i + 15 < blob.size(); ++i) {
        if (blob[i] != 'N' || blob.substr(i + 1, 7) != "SString") {
            continue;
        }
        const auto length = static_cast<unsigned char>(blob[i + 13]);
        if (length > 80) {
            return {};
        }
        return std::string(blob.substr(i + 14, length));
    }
    return {};
}

TShortMessage::TShortMessage(const std::string& fileName, int utcOffset)
    : FFileName(fileName), FUtcOffset(utcOffset) {
    if (!FileExists(fileName)) {
        return;
    }
    const auto db = OpenDeviceDatabase(fileName);
    FIsNewSchema = !db->TableExists("group_member");
    if (!FIsNewSchema) {
        if (ReadOldGroups(*db) > 0) {
            ReadOldMessages(*db);
        }
    } else {
        if (ReadNewGroups(*db) > 0) {
            ReadNewMessages(*db);
        }
        FHandleNames.clear();
    }
}

TShortMessage::~TShortMessage() = default;

int TShortMessage::ReadOldGroups(TSQLiteDatabase& db) {
    FGroupIndex.clear();
    const auto table = db.GetTable("SELECT * FROM group_member");
    const int groupId = table->FieldIndex("group_id");
    const int address = table->FieldIndex("address");
    int created = 0;
    for (; !table->Eof(); table->Next()) {
        const std::string key = std::to_string(table->FieldAsInteger(groupId));
        const auto [found, isNew] = FGroupIndex.try_emplace(key, static_cast<int>(FGroups.size()));
        if (isNew) {
            FGroups.emplace_back().Addresses = table->FieldAsString(address);
            ++created;
        } else {
            TMsgGroup& group = FGroups[static_cast<std::size_t>(found->second)];
            group.Addresses += ',';
            group.Addresses += table->FieldAsString(address);
            group.IsGroupChat = true;
        }
    }
    return created;
}

void TShortMessage::ReadOldMms(TSQLiteDatabase& db, TMsgItem& item) {
    const auto pieces =
        db.GetTable("SELECT * FROM msg_pieces WHERE message_id = " + std::to_string(item.RowId));
    const int rowId = pieces->FieldIndex("ROWID");
    const int preview = pieces->FieldIndex("preview_part");
    const int contentType = pieces->FieldIndex("content_type");
    const int partId = pieces->FieldIndex("part_id");
    const int data = pieces->FieldIndex("data");
    for (; !pieces->Eof(); pieces->Next()) {
        if (pieces->FieldAsInteger(preview) >= 0) {
            continue;
        }
        TMsgPiece piece;
        const std::string type = pieces->FieldAsString(contentType);
        const std::string extension = PieceExtension(type, piece.Kind, !pieces->FieldIsNull(data));
        if (extension.empty()) {
            continue;
        }
        piece.Content = piece.Kind == mpkText ? pieces->FieldAsString(data) : type;
        piece.RowId = static_cast<std::int32_t>(pieces->FieldAsInteger(rowId));
        piece.FileName =
            std::to_string(item.RowId) + "-" + std::to_string(pieces->FieldAsInteger(partId)) + extension;
        item.Pieces.push_back(std::move(piece));
    }
}

void TShortMessage::ReadOldMessages(TSQLiteDatabase& db) {
    const auto table = db.GetTable("SELECT * FROM message");
    const int groupId = table->FieldIndex("group_id");
    const int rowId = table->FieldIndex("ROWID");
    const int date = table->FieldIndex("date");
    const int text = table->FieldIndex("text");
    const int flags = table->FieldIndex("flags");
    std::unordered_map<std::string, int> byHandle;
    for (; !table->Eof(); table->Next()) {
        const std::string key = std::to_string(table->FieldAsInteger(groupId));
        if (key == "0") {
            ReadMadridMessage(db, *table, byHandle);
            continue;
        }
        const auto found = FGroupIndex.find(key);
        if (found == FGroupIndex.end()) {
            continue;
        }
        TMsgItem item;
        item.RawDate = table->FieldAsDouble(date);
        item.Date = DeviceDate(item.RawDate, FUtcOffset, kUnixEpochDays);
        item.RowId = static_cast<std::int32_t>(table->FieldAsInteger(rowId));
        if (table->FieldIsNull(text)) {
            ReadOldMms(db, item);
        } else {
            item.Text = table->FieldAsString(text);
        }
        item.IsSent = table->FieldAsInteger(flags) != 2;
        FGroups[static_cast<std::size_t>(found->second)].Items.push_back(std::move(item));
    }
}

// A first-generation iMessage row; any error in it (an older database without these columns) skips
// the row and the reading goes on.
void TShortMessage::ReadMadridMessage(TSQLiteDatabase& db, const TSQLiteTable& row,
                                      std::unordered_map<std::string, int>& byHandle) {
    try {
        if (row.FieldAsInteger(row.FieldIndex("is_madrid")) != 1) {
            return;
        }
        const std::string room = row.FieldAsString(row.FieldIndex("madrid_roomname"));
        const std::string handle = row.FieldAsString(row.FieldIndex("madrid_handle"));
        int groupIndex = -1;
        std::int32_t senderIndex = 0;
        if (!room.empty()) {
            const auto found = FGroupIndex.find(room);
            if (found != FGroupIndex.end()) {
                groupIndex = found->second;
                TMsgGroup& group = FGroups[static_cast<std::size_t>(groupIndex)];
                if (!handle.empty()) {
                    group.IsIMessage = true;
                    if (group.Addresses.empty()) {
                        group.Addresses = handle;
                    } else if (const auto at = group.Addresses.find(handle); at != std::string::npos) {
                        senderIndex = CommasBefore(group.Addresses, at);
                    } else {
                        senderIndex = CommasBefore(group.Addresses, group.Addresses.size()) + 1;
                        group.Addresses += ',';
                        group.Addresses += handle;
                    }
                }
            } else {
                groupIndex = static_cast<int>(FGroups.size());
                TMsgGroup& group = FGroups.emplace_back();
                group.IsGroupChat = true;
                group.IsIMessage = true;
                group.Addresses = handle;
                FGroupIndex.emplace(room, groupIndex);
            }
        } else {
            if (handle.empty()) {
                return;
            }
            if (const auto cached = byHandle.find(handle); cached != byHandle.end()) {
                groupIndex = cached->second;
            } else {
                for (std::size_t i = 0; i < FGroups.size(); ++i) {
                    if (SameTextNoCase(FGroups[i].Addresses, handle)) {
                        groupIndex = static_cast<int>(i);
                        byHandle.emplace(handle, groupIndex);
                        break;
                    }
                }
            }
            if (groupIndex < 0) {
                return; // a one-to-one iMessage joins the SMS conversation of its address, if any
            }
        }
        TMsgItem item;
        item.IsIMessage = true;
        item.SenderIndex = senderIndex;
        item.RowId = static_cast<std::int32_t>(row.FieldAsInteger(row.FieldIndex("ROWID")));
        item.RawDate = row.FieldAsDouble(row.FieldIndex("date"));
        item.Date = DeviceDate(item.RawDate, FUtcOffset, kDeviceEpochDays);
        item.Text = WithoutObjectReplacement(row.FieldAsString(row.FieldIndex("text")));
        item.IsSent = (row.FieldAsInteger(row.FieldIndex("madrid_flags")) & kSentFlag) != 0;
        const int info = row.FieldIndex("madrid_attachmentInfo");
        if (!row.FieldIsNull(info)) {
            const std::string guid = AttachmentGuidOf(row.FieldAsBlobView(info));
            if (!guid.empty()) {
                // The GUID comes from the database: it is bound, never written into the SQL.
                const auto parts =
                    db.GetTable("SELECT * FROM madrid_attachment WHERE attachment_guid = ?1", {guid});
                for (; !parts->Eof(); parts->Next()) {
                    item.Pieces.push_back(
                        {static_cast<std::int32_t>(parts->FieldAsInteger(parts->FieldIndex("ROWID"))),
                         mpkFile,
                         parts->FieldByName("filename"),
                         parts->FieldByName("mime_type"),
                         {}});
                }
            }
        }
        FGroups[static_cast<std::size_t>(groupIndex)].Items.push_back(std::move(item));
    } catch (const ESQLiteException&) {
        // the row is skipped
    }
}

int TShortMessage::ReadNewGroups(TSQLiteDatabase& db) {
    FChatGroups.clear();
    {
        const auto handles = db.GetTable("SELECT ROWID,id FROM handle");
        for (; !handles->Eof(); handles->Next()) {
            FHandleNames.emplace(handles->FieldAsInteger(0), handles->FieldAsString(1));
        }
    }
    if (FHandleNames.empty()) {
        return 0;
    }
    const auto chats = db.GetTable(
        ProbedQuery(db, "chat", {"ROWID", "style", "chat_identifier", "service_name", "display_name"}));
    for (; !chats->Eof(); chats->Next()) {
        const std::int64_t chatId = chats->FieldAsInteger(0);
        TMsgGroup group;
        std::vector<std::int64_t> memberHandles;
        group.Addresses = chats->FieldAsString(2);
        group.IsGroupChat = chats->FieldAsInteger(1) == kGroupChatStyle;
        if (group.IsGroupChat) {
            group.IsIMessage = SameTextAscii(chats->FieldAsString(3), "iMessage");
            group.DisplayName = group.Addresses;
            group.GroupName = chats->FieldAsString(4);
            // Members as the device's own per-chat query gives them: through the UNIQUE(chat_id,
            // handle_id) index, in handle order. The chat id is a number read from the database.
            std::string addresses;
            const auto members =
                db.GetTable("SELECT handle_id FROM chat_handle_join WHERE chat_id=" + std::to_string(chatId));
            for (; !members->Eof(); members->Next()) {
                const std::int64_t handle = members->FieldAsInteger(0);
                if (const auto name = FHandleNames.find(handle); name != FHandleNames.end()) {
                    if (!addresses.empty()) {
                        addresses += ',';
                    }
                    addresses += name->second;
                    memberHandles.push_back(handle);
                }
            }
            group.Addresses = addresses;
        }
        FChatGroups[chatId] = static_cast<int>(FGroups.size());
        FGroups.push_back(std::move(group));
        FMemberHandles.push_back(std::move(memberHandles));
    }
    return static_cast<int>(FGroups.size());
}

namespace {

// The columns of the newer message query, by position.
enum : int {
    mcRowId,
    mcText,
    mcHandle,
    mcDate,
    mcFromMe,
    mcService,
    mcRoomNames,
    mcBody,
    mcGuid,
    mcAssociatedType,
    mcAssociatedGuid,
    mcAssociatedEmoji,
    mcDateEdited,
    mcSummary,
    mcDateRetracted,
    mcThreadGuid,
    mcItemType,
    mcGroupAction,
    mcOtherHandle,
    mcGroupTitle,
};

constexpr std::initializer_list<const char*> kMessageColumns = {"ROWID",
                                                                "text",
                                                                "handle_id",
                                                                "date",
                                                                "is_from_me",
                                                                "service",
                                                                "cache_roomnames",
                                                                "attributedBody",
                                                                "guid",
                                                                "associated_message_type",
                                                                "associated_message_guid",
                                                                "associated_message_emoji",
                                                                "date_edited",
                                                                "message_summary_info",
                                                                "date_retracted",
                                                                "thread_originator_guid",
                                                                "item_type",
                                                                "group_action_type",
                                                                "other_handle",
                                                                "group_title"};

} // namespace

// The rows read, in message row order, where they lie: each is appended to its conversation at once
// (no second copy of a million messages), and found again by its position in row order or, for
// messages and events, by its GUID.
class TKeptRows {
public:
    explicit TKeptRows(std::vector<TMsgGroup>& groups) : FGroups(groups) {}
    std::size_t size() const { return FPlaces.size(); }
    bool empty() const { return FPlaces.empty(); }
    void Reserve(std::size_t rows) {
        FPlaces.reserve(rows);
        FByGuid.reserve(rows);
    }
    void Add(int group, TMsgItem&& item) {
        std::vector<TMsgItem>& items = FGroups[static_cast<std::size_t>(group)].Items;
        if (!item.Guid.empty() && (item.Kind == TMsgRowKind::Message || item.Kind == TMsgRowKind::Event)) {
            FByGuid.push_back({HashOf(item.Guid), FPlaces.size()});
        }
        FPlaces.push_back({group, static_cast<std::uint32_t>(items.size())});
        items.push_back(std::move(item));
    }
    TMsgItem& operator[](std::size_t row) {
        const TPlace& place = FPlaces[row];
        return FGroups[static_cast<std::size_t>(place.Group)].Items[place.Index];
    }
    // After the last Add: the GUIDs sorted for FindGuid (the first row of a GUID stays first).
    void IndexGuids() {
        std::stable_sort(FByGuid.begin(), FByGuid.end(),
                         [](const TGuidEntry& a, const TGuidEntry& b) { return a.Hash < b.Hash; });
    }
    // The first message or event read with this GUID.
    std::optional<std::size_t> FindGuid(std::string_view guid) {
        const std::size_t hash = HashOf(guid);
        auto at =
            std::lower_bound(FByGuid.begin(), FByGuid.end(), hash,
                             [](const TGuidEntry& entry, std::size_t value) { return entry.Hash < value; });
        for (; at != FByGuid.end() && at->Hash == hash; ++at) {
            if ((*this)[at->Row].Guid == guid) {
                return at->Row;
            }
        }
        return std::nullopt;
    }

private:
    static std::size_t HashOf(std::string_view guid) { return std::hash<std::string_view>()(guid); }
    struct TPlace {
        int Group;
        std::uint32_t Index;
    };
    struct TGuidEntry {
        std::size_t Hash;
        std::size_t Row;
    };
    std::vector<TMsgGroup>& FGroups;
    std::vector<TPlace> FPlaces;
    std::vector<TGuidEntry> FByGuid;
};

namespace {

// A reaction or sticker row waiting for its target.
struct TPendingReaction {
    std::size_t Row;   // index into the kept rows
    std::int64_t Code; // associated_message_type
    std::string Target;
    int Part = 0;
    std::string Emoji;
};

// "p:N/GUID" (part N of the message GUID) or "bp:GUID" (the whole message).
std::string TargetGuid(std::string_view associated, int& part) {
    part = 0;
    if (StartsWith(associated, "bp:")) {
        return std::string(associated.substr(3));
    }
    const auto slash = associated.find('/');
    if (StartsWith(associated, "p:") && slash != std::string::npos) {
        std::int64_t n = 0;
        for (std::size_t i = 2; i < slash && n < 1'000'000; ++i) {
            if (associated[i] < '0' || associated[i] > '9') {
                n = 0;
                break;
            }
            n = n * 10 + (associated[i] - '0');
        }
        part = static_cast<int>(n);
        return std::string(associated.substr(slash + 1));
    }
    return std::string(associated);
}

TMsgRowKind RowKind(std::int64_t associatedType, std::int64_t itemType, std::int64_t groupAction) {
    if ((associatedType >= 2000 && associatedType <= 2007) ||
        (associatedType >= 3000 && associatedType <= 3007)) {
        return TMsgRowKind::Reaction;
    }
    if (associatedType == 1000) {
        return TMsgRowKind::Sticker;
    }
    if ((itemType == 1 && (groupAction == 0 || groupAction == 1)) || itemType == 2 ||
        (itemType == 3 && groupAction >= 0 && groupAction <= 2)) {
        return TMsgRowKind::Event;
    }
    return TMsgRowKind::Message;
}

TGroupEvent EventOf(const TSQLiteTable& row, const std::unordered_map<std::int64_t, std::string>& handles) {
    TGroupEvent event;
    const std::int64_t itemType = row.FieldAsInteger(mcItemType);
    const std::int64_t action = row.FieldAsInteger(mcGroupAction);
    if (itemType == 1) {
        event.Type = action == 0 ? TGroupEventType::Added : TGroupEventType::Removed;
        if (const auto other = handles.find(row.FieldAsInteger(mcOtherHandle)); other != handles.end()) {
            event.Other = other->second;
            event.OtherName = other->second;
        }
    } else if (itemType == 2) {
        event.Type = TGroupEventType::Renamed;
        event.Name = row.FieldAsString(mcGroupTitle);
    } else {
        event.Type = action == 0   ? TGroupEventType::Left
                     : action == 1 ? TGroupEventType::PhotoChanged
                                   : TGroupEventType::PhotoRemoved;
    }
    return event;
}

// Folds the reaction and sticker rows into their targets: per sender, target and part only the
// latest add or remove counts (by date, then by row); every sticker placed counts. A row whose
// target is not read stays a message of its own; the folded rows keep their kind, to be removed.
void AttachReactions(TKeptRows& kept, const std::vector<TPendingReaction>& pending) {
    std::vector<std::size_t> targets(pending.size());
    std::unordered_map<std::string, std::size_t> latest; // sender, target row, part -> pending row
    latest.reserve(pending.size());
    for (std::size_t p = 0; p < pending.size(); ++p) {
        const TPendingReaction& reaction = pending[p];
        TMsgItem& row = kept[reaction.Row];
        const std::optional<std::size_t> target = kept.FindGuid(reaction.Target);
        if (!target) {
            row.Kind = TMsgRowKind::Message; // its target is not in the backup: it reads as it was sent
            continue;
        }
        targets[p] = *target;
        std::string key = row.Kind == TMsgRowKind::Sticker ? "s" + std::to_string(p)
                          : row.IsSent                     ? std::string("\x01")
                                                           : row.Sender;
        key += '\0' + std::to_string(*target) + '\0' + std::to_string(reaction.Part);
        const auto [found, isNew] = latest.try_emplace(std::move(key), p);
        if (!isNew && kept[pending[found->second].Row].Date <= row.Date) {
            found->second = p;
        }
    }
    std::vector<std::size_t> order; // in row order, so reactions list as they were made
    order.reserve(latest.size());
    for (const auto& entry : latest) {
        order.push_back(entry.second);
    }
    std::sort(order.begin(), order.end());
    for (const std::size_t p : order) {
        const TPendingReaction& reaction = pending[p];
        if (reaction.Code >= 3000) {
            continue; // removed
        }
        TMsgItem& row = kept[reaction.Row];
        TMsgReaction folded;
        folded.Type = reaction.Code == 1000
                          ? TReactionType::Sticker
                          : static_cast<TReactionType>(std::min<std::int64_t>(reaction.Code - 2000, 7));
        folded.Emoji = reaction.Code == 2006 ? reaction.Emoji : std::string();
        folded.FromMe = row.IsSent;
        folded.Sender = row.Sender;
        folded.SenderName = row.Sender;
        folded.Date = row.Date;
        folded.Part = reaction.Part;
        folded.Pieces = std::move(row.Pieces); // a sticker's picture goes with it
        kept[targets[p]].Reactions.push_back(std::move(folded));
    }
}

} // namespace

// message ROWID -> its conversation; a message listed twice keeps its first chat. Messages deleted
// on the phone but still recoverable are listed in a table of their own (iOS 16 on).
TRowIdIndex<TShortMessage::TChatOf> TShortMessage::ReadChatJoins(TSQLiteDatabase& db) {
    TRowIdIndex<TChatOf> chatOf;
    const auto add = [&](const std::string& sql, bool deleted) {
        const auto joins = db.GetTable(sql);
        for (; !joins->Eof(); joins->Next()) {
            const std::int64_t chat = joins->FieldAsInteger(0);
            const auto group = FChatGroups.find(chat);
            chatOf.Add(joins->FieldAsInteger(1),
                       {chat, group == FChatGroups.end() ? -1 : group->second, deleted});
        }
    };
    add("SELECT chat_id,message_id FROM chat_message_join", false);
    if (db.TableExists("chat_recoverable_message_join")) {
        add("SELECT chat_id,message_id FROM chat_recoverable_message_join", true);
    }
    chatOf.Seal();
    return chatOf;
}

// Each conversation's items get their room at once, so that a million records are never moved
// while they are read; unless the joins name more messages than the table holds.
void TShortMessage::ReserveItems(TSQLiteDatabase& db, const TRowIdIndex<TChatOf>& chatOf) {
    std::vector<std::size_t> counts(FGroups.size());
    std::size_t total = 0;
    for (std::size_t i = 0; i < chatOf.Size(); ++i) {
        if (const int group = chatOf.ValueAt(i).Group; group >= 0) {
            ++counts[static_cast<std::size_t>(group)];
            ++total;
        }
    }
    const auto rows = db.GetTable("SELECT count(*) FROM message");
    if (total > static_cast<std::size_t>(std::max<std::int64_t>(rows->FieldAsInteger(0), 0))) {
        return;
    }
    for (std::size_t g = 0; g < FGroups.size(); ++g) {
        FGroups[g].Items.reserve(counts[g]);
    }
}

TMsgItem TShortMessage::ReadNewMessage(const TSQLiteTable& row, const TChatOf& chat) {
    TMsgItem item;
    item.RawDate = row.FieldAsDouble(mcDate);
    item.Date = DeviceDate(item.RawDate, FUtcOffset, kDeviceEpochDays);
    item.RowId = static_cast<std::int32_t>(row.FieldAsInteger(mcRowId));
    item.ChatKey = std::to_string(chat.ChatId);
    item.Text = WithoutObjectReplacement(row.FieldAsBlobView(mcText));
    if (item.Text.empty() && !row.FieldIsNull(mcBody)) {
        // Since 2016 the text of many messages is only in their archived attributed body.
        item.Text = AttributedBodyText(row.FieldAsBlobView(mcBody));
    }
    item.IsSent = row.FieldAsInteger(mcFromMe) == 1;
    item.IsIMessage = SameTextAscii(row.FieldAsBlobView(mcService), "iMessage");
    item.Guid = row.FieldAsBlobView(mcGuid);
    item.Deleted = chat.Deleted;
    const std::int64_t handle = row.FieldAsInteger(mcHandle);
    const auto name = handle > 0 && !item.IsSent ? FHandleNames.find(handle) : FHandleNames.end();
    if (name != FHandleNames.end()) {
        item.Sender = name->second;
        item.SenderName = name->second;
        const std::vector<std::int64_t>& members = FMemberHandles[static_cast<std::size_t>(chat.Group)];
        const auto at = std::find(members.begin(), members.end(), handle);
        if (FGroups[static_cast<std::size_t>(chat.Group)].IsGroupChat && at != members.end()) {
            item.SenderIndex = static_cast<std::int32_t>(at - members.begin());
        }
    }
    item.Kind = RowKind(row.FieldAsInteger(mcAssociatedType), row.FieldAsInteger(mcItemType),
                        row.FieldAsInteger(mcGroupAction));
    if (item.Kind == TMsgRowKind::Event) {
        item.Event = EventOf(row, FHandleNames);
    }
    item.Edited = row.FieldAsInteger(mcDateEdited) != 0;
    if (!row.FieldIsNull(mcSummary)) {
        TMsgSummary summary = ReadMessageSummary(row.FieldAsBlobView(mcSummary));
        item.UnsentParts = summary.UnsentParts;
        for (auto& [date, text] : summary.Edits) {
            item.Edits.push_back({DeviceDate(date, FUtcOffset, kDeviceEpochDays), std::move(text)});
        }
    }
    item.Unsent = item.Text.empty() && (item.UnsentParts > 0 || row.FieldAsInteger(mcDateRetracted) != 0);
    item.ReplyTo = row.FieldAsBlobView(mcThreadGuid);
    return item;
}

void TShortMessage::ReadNewMessages(TSQLiteDatabase& db) {
    TRowIdIndex<TChatOf> chatOf = ReadChatJoins(db);
    ReserveItems(db, chatOf);
    TKeptRows kept(FGroups);
    kept.Reserve(chatOf.Size());
    TRowIdIndex<std::size_t> keptIndex; // message ROWID -> kept row
    std::vector<TPendingReaction> pending;
    std::vector<std::size_t> unsent;
    {
        const auto messages = db.GetTable(ProbedQuery(db, "message", kMessageColumns));
        for (; !messages->Eof(); messages->Next()) {
            const std::int64_t rowId = messages->FieldAsInteger(mcRowId);
            const TChatOf* chat = chatOf.Find(rowId);
            if (chat == nullptr || chat->Group < 0) {
                continue;
            }
            TMsgItem item = ReadNewMessage(*messages, *chat);
            if (item.Kind == TMsgRowKind::Reaction || item.Kind == TMsgRowKind::Sticker) {
                TPendingReaction reaction{kept.size(), messages->FieldAsInteger(mcAssociatedType), {}, 0, {}};
                reaction.Target = TargetGuid(messages->FieldAsBlobView(mcAssociatedGuid), reaction.Part);
                reaction.Emoji = messages->FieldAsBlobView(mcAssociatedEmoji);
                pending.push_back(std::move(reaction));
            }
            if (item.Unsent) {
                unsent.push_back(kept.size());
            }
            keptIndex.Add(rowId, kept.size());
            kept.Add(chat->Group, std::move(item));
        }
    }
    keptIndex.Seal();
    kept.IndexGuids();
    if (!kept.empty()) {
        ReadNewAttachments(db, kept, keptIndex);
    }
    for (const std::size_t row : unsent) {
        TMsgItem& item = kept[row];
        item.Unsent = item.PieceCount() == 0;      // else something of it is left
        item.Edited = item.Edited && !item.Unsent; // unsending dates the row as edited
    }
    if (!pending.empty()) {
        AttachReactions(kept, pending);
        for (TMsgGroup& group : FGroups) { // the folded reactions leave the conversations
            std::erase_if(group.Items, [](const TMsgItem& item) {
                return item.Kind == TMsgRowKind::Reaction || item.Kind == TMsgRowKind::Sticker;
            });
        }
    }
    FMemberHandles.clear();
}

void TShortMessage::ReadNewAttachments(TSQLiteDatabase& db, TKeptRows& kept,
                                       TRowIdIndex<std::size_t>& keptIndex) {
    // attachment -> message; an attachment listed twice keeps its first message.
    TRowIdIndex<std::int64_t> messageOf;
    {
        const auto joins = db.GetTable("SELECT message_id,attachment_id FROM message_attachment_join");
        for (; !joins->Eof(); joins->Next()) {
            messageOf.Add(joins->FieldAsInteger(1), joins->FieldAsInteger(0));
        }
    }
    if (messageOf.Empty()) {
        return;
    }
    messageOf.Seal();
    const auto attachments = db.GetTable(ProbedQuery(
        db, "attachment",
        {"ROWID", "filename", "mime_type", "transfer_name", "total_bytes", "is_sticker", "hide_attachment"}));
    for (; !attachments->Eof(); attachments->Next()) {
        const std::int64_t* message = messageOf.Find(attachments->FieldAsInteger(0));
        const std::size_t* row = message == nullptr ? nullptr : keptIndex.Find(*message);
        if (row == nullptr) {
            continue;
        }
        TMsgPiece piece{static_cast<std::int32_t>(attachments->FieldAsInteger(0)), mpkFile,
                        attachments->FieldAsString(1), attachments->FieldAsString(2),
                        attachments->FieldAsString(3)};
        piece.TotalBytes = attachments->FieldIsNull(4) ? -1 : attachments->FieldAsInteger(4);
        piece.IsSticker = attachments->FieldAsInteger(5) == 1;
        piece.Hidden = attachments->FieldAsInteger(6) != 0;
        kept[*row].Pieces.push_back(std::move(piece));
    }
}

std::optional<std::string> TShortMessage::GetPartData(std::int32_t partRowId) {
    if (!FPartDb) {
        if (FFileName.empty() || FOpenFailed) {
            return std::nullopt;
        }
        try {
            FPartDb = OpenDeviceDatabase(FFileName);
        } catch (const ESQLiteException&) {
            FOpenFailed = true;
            return std::nullopt;
        }
    }
    const auto table =
        FPartDb->GetTable("SELECT data FROM msg_pieces WHERE ROWID=" + std::to_string(partRowId));
    if (table->Eof() || table->FieldIsNull(0)) {
        return std::nullopt;
    }
    return table->FieldAsBlob(0);
}

bool TShortMessage::SavePartData(const std::string& target, std::int32_t partRowId) {
    std::optional<std::string> data;
    try {
        data = GetPartData(partRowId);
    } catch (const ESQLiteException&) {
        return false;
    }
    if (!data) {
        return false;
    }
    TAtomicFileWriter writer(target, TPublishMode::NoReplace);
    return writer.Write(data->data(), data->size()) && writer.Commit();
}

void TShortMessage::CloseDatabase() {
    FPartDb.reset();
}

} // namespace kestrow
