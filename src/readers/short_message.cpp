#include "readers/short_message.h"

#include <algorithm>

#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/new_file.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/utf8.h"
#include "readers/record_text.h"
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

// The newer schema's message columns by position; a column a schema generation does not have (the
// attributed body before iOS 6, or one a later version drops) reads as NULL.
std::string NewMessageQuery(TSQLiteDatabase& db) {
    const std::vector<std::string> present = db.ColumnNames("message");
    std::string sql = "SELECT ROWID";
    for (const char* column :
         {"text", "handle_id", "date", "is_from_me", "service", "cache_roomnames", "attributedBody"}) {
        const bool has = std::find(present.begin(), present.end(), AsciiUpper(column)) != present.end();
        sql += has ? std::string(",") + column : std::string(",NULL");
    }
    return sql + " FROM message";
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

std::string TMsgGroup::AsText() const {
    std::string text;
    for (const TMsgItem& item : Items) {
        text += item.IsSent ? "<< " : ">> ";
        text += DateTimeText(item.Date);
        text += "\r\n";
        text += item.FullText();
        text += "\r\n\r\n";
    }
    return text;
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
                         mpkFile, parts->FieldByName("filename"), parts->FieldByName("mime_type")});
                }
            }
        }
        FGroups[static_cast<std::size_t>(groupIndex)].Items.push_back(std::move(item));
    } catch (const ESQLiteException&) {
        // the row is skipped
    }
}

int TShortMessage::ReadNewGroups(TSQLiteDatabase& db) {
    FGroupIndex.clear();
    {
        const auto handles = db.GetTable("SELECT ROWID,id FROM handle");
        for (; !handles->Eof(); handles->Next()) {
            FHandleNames.emplace(handles->FieldAsInteger(0), handles->FieldAsString(1));
        }
    }
    if (FHandleNames.empty()) {
        return 0;
    }
    // The members of every chat, in row order, read once.
    std::unordered_map<std::int64_t, std::vector<std::int64_t>> members;
    {
        const auto joins = db.GetTable("SELECT chat_id,handle_id FROM chat_handle_join");
        for (; !joins->Eof(); joins->Next()) {
            members[joins->FieldAsInteger(0)].push_back(joins->FieldAsInteger(1));
        }
    }
    const auto chats = db.GetTable("SELECT ROWID,style,chat_identifier,service_name FROM chat");
    for (; !chats->Eof(); chats->Next()) {
        const std::int64_t chatId = chats->FieldAsInteger(0);
        TMsgGroup group;
        group.Addresses = chats->FieldAsString(2);
        group.IsGroupChat = chats->FieldAsInteger(1) == kGroupChatStyle;
        if (group.IsGroupChat) {
            group.IsIMessage = SameTextAscii(chats->FieldAsString(3), "iMessage");
            group.DisplayName = group.Addresses;
            std::string addresses;
            for (const std::int64_t handle : members[chatId]) {
                if (const auto name = FHandleNames.find(handle); name != FHandleNames.end()) {
                    if (!addresses.empty()) {
                        addresses += ',';
                    }
                    addresses += name->second;
                }
            }
            group.Addresses = addresses;
        }
        FGroupIndex[std::to_string(chatId)] = static_cast<int>(FGroups.size());
        FGroups.push_back(std::move(group));
    }
    return static_cast<int>(FGroups.size());
}

void TShortMessage::ReadNewMessages(TSQLiteDatabase& db) {
    // message -> chat; a message listed twice keeps its first chat.
    std::unordered_map<std::int64_t, std::int64_t> chatOf;
    {
        const auto joins = db.GetTable("SELECT chat_id,message_id FROM chat_message_join");
        for (; !joins->Eof(); joins->Next()) {
            chatOf.try_emplace(joins->FieldAsInteger(1), joins->FieldAsInteger(0));
        }
    }
    std::vector<std::pair<int, TMsgItem>> kept; // group index and message, in message row order
    std::unordered_map<std::int64_t, std::size_t> keptIndex;
    {
        const auto messages = db.GetTable(NewMessageQuery(db));
        for (; !messages->Eof(); messages->Next()) {
            const std::int64_t rowId = messages->FieldAsInteger(0);
            const auto chat = chatOf.find(rowId);
            if (chat == chatOf.end()) {
                continue;
            }
            std::string chatKey = std::to_string(chat->second);
            const auto group = FGroupIndex.find(chatKey);
            if (group == FGroupIndex.end()) {
                continue;
            }
            TMsgItem item;
            item.RawDate = messages->FieldAsDouble(3);
            item.Date = DeviceDate(item.RawDate, FUtcOffset, kDeviceEpochDays);
            item.RowId = static_cast<std::int32_t>(rowId);
            item.ChatKey = std::move(chatKey);
            item.Text = WithoutObjectReplacement(messages->FieldAsString(1));
            if (item.Text.empty() && !messages->FieldIsNull(7)) {
                // Since 2016 the text of many messages is only in their archived attributed body.
                item.Text = AttributedBodyText(messages->FieldAsBlobView(7));
            }
            item.IsSent = messages->FieldAsInteger(4) == 1;
            item.IsIMessage = SameTextAscii(messages->FieldAsString(5), "iMessage");
            const std::int64_t handle = messages->FieldAsInteger(2);
            if (item.IsIMessage && !messages->FieldAsString(6).empty() && handle > 0) {
                if (const auto name = FHandleNames.find(handle); name != FHandleNames.end()) {
                    const std::string& addresses = FGroups[static_cast<std::size_t>(group->second)].Addresses;
                    if (const auto at = addresses.find(name->second); at != std::string::npos) {
                        item.SenderIndex = CommasBefore(addresses, at);
                    }
                }
            }
            keptIndex.emplace(rowId, kept.size());
            kept.emplace_back(group->second, std::move(item));
        }
    }
    if (!kept.empty()) {
        // attachment -> message; an attachment listed twice keeps its first message.
        std::unordered_map<std::int64_t, std::int64_t> messageOf;
        {
            const auto joins = db.GetTable("SELECT message_id,attachment_id FROM message_attachment_join");
            for (; !joins->Eof(); joins->Next()) {
                messageOf.try_emplace(joins->FieldAsInteger(1), joins->FieldAsInteger(0));
            }
        }
        if (!messageOf.empty()) {
            const auto attachments = db.GetTable("SELECT ROWID,filename,mime_type FROM attachment");
            for (; !attachments->Eof(); attachments->Next()) {
                const auto message = messageOf.find(attachments->FieldAsInteger(0));
                const auto item =
                    message == messageOf.end() ? keptIndex.end() : keptIndex.find(message->second);
                if (item != keptIndex.end()) {
                    kept[item->second].second.Pieces.push_back(
                        {static_cast<std::int32_t>(attachments->FieldAsInteger(0)), mpkFile,
                         attachments->FieldAsString(1), attachments->FieldAsString(2)});
                }
            }
        }
    }
    for (auto& [group, item] : kept) {
        FGroups[static_cast<std::size_t>(group)].Items.push_back(std::move(item));
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
