#include "support/sms_writer.h"

#include "support/current_stores_writer.h"
#include "support/plist_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow::test {

namespace {

constexpr const char* kOldSchema =
    "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
    "CREATE TABLE msg_group (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, type INTEGER, newest_message INTEGER, "
    "unread_count INTEGER, hash INTEGER);"
    "CREATE TABLE group_member (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, group_id INTEGER, address TEXT, "
    "country TEXT);"
    "CREATE TABLE msg_pieces (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, message_id INTEGER, data BLOB, "
    "part_id "
    "INTEGER, preview_part INTEGER, content_type TEXT, height INTEGER, version INTEGER, flags INTEGER, "
    "content_id "
    "TEXT, content_loc TEXT, headers BLOB);"
    "CREATE INDEX pieces_message_index ON msg_pieces(message_id);";

constexpr const char* kOldMessage =
    "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, "
    "date INTEGER, text TEXT, flags INTEGER, replace INTEGER, svc_center TEXT, "
    "group_id INTEGER, association_id INTEGER, height INTEGER, UIFlags INTEGER, "
    "version INTEGER, subject TEXT, country TEXT, headers BLOB, recipients BLOB, "
    "read INTEGER";

constexpr const char* kMadridColumns =
    ", madrid_attributedBody BLOB, madrid_handle TEXT, madrid_version INTEGER, madrid_guid TEXT, madrid_type "
    "INTEGER, madrid_roomname TEXT, madrid_service TEXT, madrid_account TEXT, madrid_account_guid TEXT, "
    "madrid_flags INTEGER, madrid_attachmentInfo BLOB, madrid_url TEXT, madrid_error INTEGER, is_madrid "
    "INTEGER, "
    "madrid_date_read INTEGER, madrid_date_delivered INTEGER);"
    "CREATE TABLE madrid_attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, attachment_guid TEXT, "
    "created_date "
    "INTEGER, start_date INTEGER, filename TEXT, uti_type TEXT, mime_type TEXT, transfer_state INTEGER, "
    "is_incoming INTEGER, message_id INTEGER);";

// The columns iOS 16-18 add to the tables of the newer schema.
constexpr const char* kCurrentColumns =
    "ALTER TABLE message ADD COLUMN associated_message_guid TEXT DEFAULT NULL;"
    "ALTER TABLE message ADD COLUMN associated_message_type INTEGER DEFAULT 0;"
    "ALTER TABLE message ADD COLUMN associated_message_range_location INTEGER DEFAULT 0;"
    "ALTER TABLE message ADD COLUMN associated_message_range_length INTEGER DEFAULT 0;"
    "ALTER TABLE message ADD COLUMN item_type INTEGER DEFAULT 0;"
    "ALTER TABLE message ADD COLUMN other_handle INTEGER DEFAULT 0;"
    "ALTER TABLE message ADD COLUMN group_title TEXT DEFAULT NULL;"
    "ALTER TABLE message ADD COLUMN group_action_type INTEGER DEFAULT 0;"
    "ALTER TABLE message ADD COLUMN thread_originator_guid TEXT DEFAULT NULL;"
    "ALTER TABLE message ADD COLUMN thread_originator_part TEXT DEFAULT NULL;"
    "ALTER TABLE message ADD COLUMN date_retracted INTEGER DEFAULT 0;"
    "ALTER TABLE message ADD COLUMN date_edited INTEGER DEFAULT 0;"
    "ALTER TABLE message ADD COLUMN message_summary_info BLOB DEFAULT NULL;"
    "ALTER TABLE message ADD COLUMN associated_message_emoji TEXT DEFAULT NULL;"
    "ALTER TABLE attachment ADD COLUMN is_sticker INTEGER DEFAULT 0;"
    "ALTER TABLE attachment ADD COLUMN hide_attachment INTEGER DEFAULT 0;"
    "CREATE TABLE chat_recoverable_message_join (chat_id INTEGER REFERENCES chat (ROWID) ON DELETE CASCADE, "
    "message_id INTEGER REFERENCES message (ROWID) ON DELETE CASCADE, delete_date INTEGER, ck_sync_state "
    "INTEGER DEFAULT 0, PRIMARY KEY (chat_id, message_id), CHECK (delete_date != 0));";

std::string Text(const std::string& text) {
    return text.empty() ? "NULL" : SqlText(text);
}

std::string NewSchema(bool unique) {
    const std::string u = unique ? ", UNIQUE(" : "";
    return std::string(
               "CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));"
               "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
               "text TEXT, "
               "replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER DEFAULT 0, subject TEXT, "
               "country "
               "TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, type INTEGER DEFAULT 0, service TEXT, "
               "account "
               "TEXT, account_guid TEXT, error INTEGER DEFAULT 0, date INTEGER, date_read INTEGER, "
               "date_delivered "
               "INTEGER, is_delivered INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, is_emote INTEGER "
               "DEFAULT 0, "
               "is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, is_delayed INTEGER DEFAULT 0, "
               "is_auto_reply INTEGER DEFAULT 0, is_prepared INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, "
               "is_system_message INTEGER DEFAULT 0, is_sent INTEGER DEFAULT 0, has_dd_results INTEGER "
               "DEFAULT 0, "
               "is_service_message INTEGER DEFAULT 0, is_forward INTEGER DEFAULT 0, was_downgraded INTEGER "
               "DEFAULT 0, "
               "is_archive INTEGER DEFAULT 0, cache_has_attachments INTEGER DEFAULT 0, cache_roomnames TEXT, "
               "was_data_detected INTEGER DEFAULT 0, was_deduplicated INTEGER DEFAULT 0);"
               "CREATE TABLE chat (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, style "
               "INTEGER, "
               "state INTEGER, account_id TEXT, properties BLOB, chat_identifier TEXT, service_name TEXT, "
               "room_name "
               "TEXT, account_login TEXT, is_archived INTEGER DEFAULT 0, last_addressed_handle TEXT, "
               "display_name "
               "TEXT);"
               "CREATE TABLE attachment (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT NULL, "
               "created_date INTEGER DEFAULT 0, start_date INTEGER DEFAULT 0, filename TEXT, uti TEXT, "
               "mime_type TEXT, "
               "transfer_state INTEGER DEFAULT 0, is_outgoing INTEGER DEFAULT 0, user_info BLOB, "
               "transfer_name TEXT, "
               "total_bytes INTEGER DEFAULT 0);"
               "CREATE TABLE handle ( ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, "
               "country TEXT, "
               "service TEXT NOT NULL, uncanonicalized_id TEXT, UNIQUE (id, service) );") +
           "CREATE TABLE message_attachment_join ( message_id INTEGER, attachment_id INTEGER" +
           (unique ? u + "message_id, attachment_id)" : "") +
           ");"
           "CREATE TABLE chat_handle_join ( chat_id INTEGER, handle_id INTEGER" +
           (unique ? u + "chat_id, handle_id)" : "") +
           ");"
           "CREATE TABLE chat_message_join ( chat_id INTEGER, message_id INTEGER" +
           (unique ? ", PRIMARY KEY (chat_id, message_id)" : "") + ");";
}

} // namespace

std::string OldSmsSql(const TOldSmsDb& db) {
    std::string sql = std::string(kOldSchema) + kOldMessage + (db.MadridColumns ? kMadridColumns : ");");
    for (const auto& member : db.Members) {
        sql += "INSERT INTO group_member (group_id, address, country) VALUES (" +
               std::to_string(member.GroupId) + ", " + SqlText(member.Address) + ", 'us');";
    }
    for (const auto& m : db.Messages) {
        sql += "INSERT INTO message (ROWID, address, date, text, flags, replace, group_id, read";
        if (db.MadridColumns) {
            sql += ", madrid_handle, madrid_roomname, madrid_flags, madrid_attachmentInfo, is_madrid";
        }
        sql += ") VALUES (" + std::to_string(m.RowId) + ", " + SqlText(m.Handle) + ", " +
               std::to_string(m.Date) + ", " + (m.Text ? SqlText(*m.Text) : "NULL") + ", " +
               std::to_string(m.Flags) + ", 0, " + std::to_string(m.GroupId) + ", 1";
        if (db.MadridColumns) {
            sql += ", " + SqlText(m.Handle) + ", " + (m.RoomName.empty() ? "NULL" : SqlText(m.RoomName)) +
                   ", " + std::to_string(m.MadridFlags) + ", " +
                   (m.AttachmentInfo ? SqlBlob(*m.AttachmentInfo) : "NULL") + ", " +
                   std::to_string(m.IsMadrid);
        }
        sql += ");";
    }
    for (const auto& p : db.Pieces) {
        sql +=
            "INSERT INTO msg_pieces (ROWID, message_id, data, part_id, preview_part, content_type) VALUES (" +
            std::to_string(p.RowId) + ", " + std::to_string(p.MessageId) + ", " +
            (p.Data ? SqlBlob(*p.Data) : "NULL") + ", " + std::to_string(p.PartId) + ", " +
            std::to_string(p.PreviewPart) + ", " + SqlText(p.ContentType) + ");";
    }
    for (const auto& a : db.Attachments) {
        sql += "INSERT INTO madrid_attachment (ROWID, attachment_guid, filename, mime_type) VALUES (" +
               std::to_string(a.RowId) + ", " + SqlText(a.Guid) + ", " + SqlText(a.FileName) + ", " +
               SqlText(a.MimeType) + ");";
    }
    return sql;
}

std::string NewSmsSql(const TNewSmsDb& db) {
    std::string sql = NewSchema(db.UniqueJoins) + (db.Current ? kCurrentColumns : "");
    for (const auto& h : db.Handles) {
        sql += "INSERT INTO handle (ROWID, id, country, service) VALUES (" + std::to_string(h.RowId) + ", " +
               SqlText(h.Id) + ", 'us', 'SMS');";
    }
    for (const auto& c : db.Chats) {
        sql += "INSERT INTO chat (ROWID, guid, style, state, chat_identifier, service_name, display_name) "
               "VALUES (" +
               std::to_string(c.RowId) + ", 'chat" + std::to_string(c.RowId) + "', " +
               std::to_string(c.Style) + ", 3, " + SqlText(c.Identifier) + ", " + SqlText(c.Service) + ", " +
               SqlText(c.DisplayName) + ");";
    }
    for (const auto& m : db.Messages) {
        const std::string guid = m.Guid.empty() ? "msg" + std::to_string(m.RowId) : m.Guid;
        if (db.Current) {
            sql += "INSERT INTO message (ROWID, guid, associated_message_type, associated_message_guid, "
                   "associated_message_emoji, date_edited, message_summary_info, date_retracted, "
                   "thread_originator_guid, thread_originator_part, item_type, group_action_type, "
                   "other_handle, group_title) VALUES (" +
                   std::to_string(m.RowId) + ", " + SqlText(guid) + ", " + std::to_string(m.AssociatedType) +
                   ", " + Text(m.AssociatedGuid) + ", " + Text(m.AssociatedEmoji) + ", " +
                   std::to_string(m.DateEdited) + ", " + (m.SummaryInfo ? SqlBlob(*m.SummaryInfo) : "NULL") +
                   ", " + std::to_string(m.DateRetracted) + ", " + Text(m.ThreadGuid) + ", " +
                   (m.ThreadGuid.empty() ? "NULL" : "'0:0:5'") + ", " + std::to_string(m.ItemType) + ", " +
                   std::to_string(m.GroupAction) + ", " + std::to_string(m.OtherHandle) + ", " +
                   Text(m.GroupTitle) + ");";
            sql += "UPDATE message SET text=" + (m.Text ? SqlText(*m.Text) : "NULL") +
                   ", handle_id=" + std::to_string(m.HandleId) +
                   ", attributedBody=" + (m.AttributedBody ? SqlBlob(*m.AttributedBody) : "NULL") +
                   ", service=" + SqlText(m.Service) + ", date=" + std::to_string(m.Date) +
                   ", is_from_me=" + (m.FromMe ? "1" : "0") + ", cache_roomnames=" + Text(m.RoomNames) +
                   " WHERE ROWID=" + std::to_string(m.RowId) + ";";
            continue;
        }
        sql +=
            "INSERT INTO message (ROWID, guid, text, handle_id, attributedBody, service, date, is_from_me, "
            "cache_roomnames) VALUES (" +
            std::to_string(m.RowId) + ", " + SqlText(guid) + ", " + (m.Text ? SqlText(*m.Text) : "NULL") +
            ", " + std::to_string(m.HandleId) + ", " +
            (m.AttributedBody ? SqlBlob(*m.AttributedBody) : "NULL") + ", " + SqlText(m.Service) + ", " +
            std::to_string(m.Date) + ", " + (m.FromMe ? "1" : "0") + ", " +
            (m.RoomNames.empty() ? "NULL" : SqlText(m.RoomNames)) + ");";
    }
    for (const auto& a : db.Attachments) {
        sql +=
            "INSERT INTO attachment (ROWID, guid, filename, mime_type, transfer_name, total_bytes) VALUES (" +
            std::to_string(a.RowId) + ", 'att" + std::to_string(a.RowId) + "', " + SqlText(a.FileName) +
            ", " + SqlText(a.MimeType) + ", " + Text(a.TransferName) + ", " + std::to_string(a.TotalBytes) +
            ");";
        if (a.IsSticker || a.Hidden) {
            sql += "UPDATE attachment SET is_sticker=" + std::to_string(a.IsSticker ? 1 : 0) +
                   ", hide_attachment=" + std::to_string(a.Hidden ? 1 : 0) +
                   " WHERE ROWID=" + std::to_string(a.RowId) + ";";
        }
    }
    const auto joins = [&sql](const char* table, const char* columns,
                              const std::vector<TNewSmsDb::TJoin>& rows) {
        for (const auto& j : rows) {
            sql += std::string("INSERT INTO ") + table + " (" + columns + ") VALUES (" +
                   std::to_string(j.First) + ", " + std::to_string(j.Second) + ");";
        }
    };
    joins("chat_handle_join", "chat_id, handle_id", db.ChatHandles);
    joins("chat_message_join", "chat_id, message_id", db.ChatMessages);
    joins("message_attachment_join", "message_id, attachment_id", db.MessageAttachments);
    for (const auto& j : db.Recoverable) {
        sql += "INSERT INTO chat_recoverable_message_join (chat_id, message_id, delete_date) VALUES (" +
               std::to_string(j.First) + ", " + std::to_string(j.Second) + ", 737000000000000000);";
    }
    return sql;
}

std::string MessageSummaryInfo(const std::vector<std::vector<TEditVersion>>& parts,
                               const std::vector<int>& unsentParts) {
    TPlistPtr root(plist_new_dict());
    plist_dict_set_item(root.get(), "amc", plist_new_uint(1));
    plist_t edits = plist_new_dict();
    plist_t edited = plist_new_array();
    for (std::size_t p = 0; p < parts.size(); ++p) {
        plist_t versions = plist_new_array();
        for (const TEditVersion& version : parts[p]) {
            plist_t entry = plist_new_dict();
            plist_dict_set_item(entry, "d", plist_new_uint(static_cast<std::uint64_t>(version.Nanoseconds)));
            const std::string body = AttributedBody(version.Text);
            plist_dict_set_item(entry, "t", plist_new_data(body.data(), body.size()));
            plist_array_append_item(versions, entry);
        }
        plist_dict_set_item(edits, std::to_string(p).c_str(), versions);
        plist_array_append_item(edited, plist_new_uint(p));
    }
    plist_dict_set_item(root.get(), "ec", edits);
    plist_dict_set_item(root.get(), "ep", edited);
    plist_t unsent = plist_new_array();
    for (const int part : unsentParts) {
        plist_array_append_item(unsent, plist_new_uint(static_cast<std::uint64_t>(part)));
    }
    plist_dict_set_item(root.get(), "rp", unsent);
    return PlistBinary(root.get());
}

TNewSmsDb TodaysSms() {
    TNewSmsDb db;
    db.Current = true;
    db.Handles = {{1, "+447700900001"}, {2, "+447700900002"}, {3, "<b>Sam & Co</b>"}};
    db.Chats = {{1, 43, "chat100", "iMessage", "Trip"}, {2, 43, "chat200", "SMS", ""}};
    db.ChatHandles = {{1, 3}, {1, 1}, {1, 2}, {2, 2}, {2, 1}}; // the index gives them in handle order
    constexpr std::int64_t t = 700000000'000000000;            // 2023-03-08 20:26:40 UTC
    constexpr std::int64_t minute = 60'000000000;
    const auto m = [&](std::int64_t row, std::optional<std::string> text, std::int64_t handle, bool fromMe) {
        TNewSmsDb::TMessage message{row, std::move(text), handle, t + row * minute, fromMe, "iMessage"};
        message.Guid = "G" + std::to_string(row);
        return message;
    };
    auto love = m(3, "Loved \u201cSee you at 7\u201d", 2, false);
    love.AssociatedType = 2000;
    love.AssociatedGuid = "p:0/G1";
    auto like = m(4, "Liked \u201cSee you at 7\u201d", 0, true);
    like.AssociatedType = 2001;
    like.AssociatedGuid = "bp:G1";
    auto unlike = m(5, "Removed a like from \u201cSee you at 7\u201d", 0, true);
    unlike.AssociatedType = 3001;
    unlike.AssociatedGuid = "bp:G1";
    auto party = m(6, "Reacted \U0001F389 to \u201cGreat\u201d", 3, false);
    party.AssociatedType = 2006;
    party.AssociatedGuid = "p:0/G2";
    party.AssociatedEmoji = "\U0001F389";
    auto lost = m(7, "Loved \u201cold news\u201d", 1, false);
    lost.AssociatedType = 2000;
    lost.AssociatedGuid = "p:0/GONE";
    auto edited = m(8, std::nullopt, 0, true);
    edited.AttributedBody = AttributedBody("Meet at 8");
    edited.DateEdited = t + 9 * minute;
    edited.SummaryInfo = MessageSummaryInfo({{{t + 8 * minute, "Meet at 6"},
                                              {t + 8 * minute + 30'000000000, "Meet at 7"},
                                              {t + 9 * minute, "Meet at 8"}}},
                                            {});
    auto unsent = m(9, std::nullopt, 1, false);
    unsent.DateEdited = t + 10 * minute;
    unsent.DateRetracted = t + 10 * minute;
    unsent.SummaryInfo = MessageSummaryInfo({}, {0});
    auto reply = m(10, "Fine by me", 3, false);
    reply.ThreadGuid = "G8";
    auto added = m(11, std::nullopt, 1, false);
    added.ItemType = 1;
    added.OtherHandle = 2;
    auto renamed = m(12, std::nullopt, 0, true);
    renamed.ItemType = 2;
    renamed.GroupTitle = "Trip";
    auto left = m(13, std::nullopt, 2, false);
    left.ItemType = 3;
    auto pictures = m(15, "\uFFFC", 1, false);
    auto sticker = m(16, "\uFFFC", 3, false); // placed on "Great", after the message it sits on
    sticker.AssociatedType = 1000;
    sticker.AssociatedGuid = "p:0/G2";
    auto late = m(20, "Running late", 2, false);
    late.Service = "SMS";
    auto ok = m(21, "ok", 0, true);
    ok.Service = "SMS";
    db.Messages = {m(1, "See you at 7", 1, false),
                   m(2, "Great", 0, true),
                   love,
                   like,
                   unlike,
                   party,
                   lost,
                   edited,
                   unsent,
                   reply,
                   added,
                   renamed,
                   left,
                   m(14, "Oops", 1, false),
                   pictures,
                   sticker,
                   late,
                   ok};
    for (const auto& message : db.Messages) {
        if (message.RowId != 14) {
            db.ChatMessages.push_back({message.RowId < 20 ? 1 : 2, message.RowId});
        }
    }
    db.Recoverable = {{1, 14}};
    db.Attachments = {
        {1, "~/Library/SMS/Attachments/01/IMG_0001.jpeg", "image/jpeg", "IMG_0001.jpeg", 2048},
        {2, "~/Library/SMS/Attachments/02/Audio Message.caf", "audio/x-caf", "Audio Message.caf", 31000},
        {3, "~/Library/SMS/Attachments/03/sticker.png", "image/png", "sticker.png", 900, true},
        {4, "~/Library/SMS/Attachments/04/link.pluginPayloadAttachment", "", "", 700, false, true}};
    db.MessageAttachments = {{15, 1}, {15, 2}, {16, 3}, {15, 4}};
    return db;
}

std::string MadridAttachmentInfo(const std::string& guid) {
    // A typedstream: header, the class chain of the archived dictionary, then the GUID's NSString
    // with its length byte five bytes after the class name.
    std::string out(
        "\x04\x0bstreamtyped\x81\xe8\x03\x84\x01@\x84\x84\x84\x0cNSDictionary\x00\x84\x84\x08NSObject"
        "\x00\x85\x84\x01i\x01\x92\x84\x84\x84\x08",
        58);
    out += "NSString";
    out += std::string("\x01\x94\x84\x01+", 5);
    out += static_cast<char>(guid.size());
    out += guid;
    out += std::string(
        "\x86\x92\x84\x84\x84\x08NSNumber\x00\x84\x84\x07NSValue\x00\x94\x84\x01*\x84\x99\x99\x00\x86\x86",
        34);
    return out;
}

} // namespace kestrow::test
