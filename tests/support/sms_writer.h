#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrow::test {

// sms.db of the older schema (iOS 4 and 5): group_member, message with the first-generation
// iMessage columns, msg_pieces, madrid_attachment. The tables as devices create them.
struct TOldSmsDb {
    struct TMember {
        std::int64_t GroupId;
        std::string Address;
    };
    struct TMessage {
        std::int64_t RowId;
        std::int64_t GroupId;
        std::int64_t Date; // seconds since 1970 (SMS) or 2001 (iMessage rows)
        std::optional<std::string> Text;
        std::int64_t Flags = 3; // 2 received, 3 sent
        std::int64_t IsMadrid = 0;
        std::string RoomName;
        std::string Handle;
        std::int64_t MadridFlags = 0;
        std::optional<std::string> AttachmentInfo;
    };
    struct TPiece {
        std::int64_t RowId;
        std::int64_t MessageId;
        std::int64_t PartId;
        std::string ContentType;
        std::optional<std::string> Data;
        std::int64_t PreviewPart = -1;
    };
    struct TMadridAttachment {
        std::int64_t RowId;
        std::string Guid;
        std::string FileName;
        std::string MimeType;
    };
    bool MadridColumns = true; // false: an iOS 4 database without the iMessage columns
    std::vector<TMember> Members;
    std::vector<TMessage> Messages;
    std::vector<TPiece> Pieces;
    std::vector<TMadridAttachment> Attachments;
};

// sms.db of the newer schema (iOS 6 on).
struct TNewSmsDb {
    struct THandle {
        std::int64_t RowId;
        std::string Id;
    };
    struct TChat {
        std::int64_t RowId;
        std::int64_t Style; // 43 group chat, 45 one-to-one
        std::string Identifier;
        std::string Service = "SMS";
    };
    struct TMessage {
        std::int64_t RowId;
        std::optional<std::string> Text;
        std::int64_t HandleId;
        std::int64_t Date; // seconds or (since 2017) nanoseconds since 2001
        bool FromMe = false;
        std::string Service = "SMS";
        std::string RoomNames;
        std::optional<std::string> AttributedBody;
    };
    struct TAttachment {
        std::int64_t RowId;
        std::string FileName;
        std::string MimeType;
    };
    struct TJoin {
        std::int64_t First;
        std::int64_t Second;
    };
    std::vector<THandle> Handles;
    std::vector<TChat> Chats;
    std::vector<TMessage> Messages;
    std::vector<TAttachment> Attachments;
    std::vector<TJoin> ChatHandles;        // chat_id, handle_id
    std::vector<TJoin> ChatMessages;       // chat_id, message_id
    std::vector<TJoin> MessageAttachments; // message_id, attachment_id
    bool UniqueJoins = true; // false: join tables without their UNIQUE constraints (damaged or old)
};

// The SQL that creates and fills each database.
std::string OldSmsSql(const TOldSmsDb& db);
std::string NewSmsSql(const TNewSmsDb& db);

// The archived attachment info of a first-generation iMessage row, as a device writes it: a
// typedstream holding the attachment's GUID after the class name "NSString".
std::string MadridAttachmentInfo(const std::string& guid);

} // namespace kestrow::test
