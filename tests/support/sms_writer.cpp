#include "support/sms_writer.h"

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
    std::string sql = NewSchema(db.UniqueJoins);
    for (const auto& h : db.Handles) {
        sql += "INSERT INTO handle (ROWID, id, country, service) VALUES (" + std::to_string(h.RowId) + ", " +
               SqlText(h.Id) + ", 'us', 'SMS');";
    }
    for (const auto& c : db.Chats) {
        sql += "INSERT INTO chat (ROWID, guid, style, state, chat_identifier, service_name) VALUES (" +
               std::to_string(c.RowId) + ", 'chat" + std::to_string(c.RowId) + "', " +
               std::to_string(c.Style) + ", 3, " + SqlText(c.Identifier) + ", " + SqlText(c.Service) + ");";
    }
    for (const auto& m : db.Messages) {
        sql +=
            "INSERT INTO message (ROWID, guid, text, handle_id, attributedBody, service, date, is_from_me, "
            "cache_roomnames) VALUES (" +
            std::to_string(m.RowId) + ", 'msg" + std::to_string(m.RowId) + "', " +
            (m.Text ? SqlText(*m.Text) : "NULL") + ", " + std::to_string(m.HandleId) + ", " +
            (m.AttributedBody ? SqlBlob(*m.AttributedBody) : "NULL") + ", " + SqlText(m.Service) + ", " +
            std::to_string(m.Date) + ", " + (m.FromMe ? "1" : "0") + ", " +
            (m.RoomNames.empty() ? "NULL" : SqlText(m.RoomNames)) + ");";
    }
    for (const auto& a : db.Attachments) {
        sql += "INSERT INTO attachment (ROWID, guid, filename, mime_type) VALUES (" +
               std::to_string(a.RowId) + ", 'att" + std::to_string(a.RowId) + "', " + SqlText(a.FileName) +
               ", " + SqlText(a.MimeType) + ");";
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
    return sql;
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
