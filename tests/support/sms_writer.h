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
        std::string DisplayName; // the name members gave the group
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
        // iOS 16-18 columns (written when Current is set).
        std::string Guid; // empty: "msg" + ROWID
        std::int64_t AssociatedType = 0;
        std::string AssociatedGuid;
        std::string AssociatedEmoji;
        std::int64_t DateEdited = 0;
        std::optional<std::string> SummaryInfo;
        std::int64_t DateRetracted = 0;
        std::string ThreadGuid;
        std::int64_t ItemType = 0;
        std::int64_t GroupAction = 0;
        std::int64_t OtherHandle = 0;
        std::string GroupTitle;
    };
    struct TAttachment {
        std::int64_t RowId;
        std::string FileName;
        std::string MimeType;
        std::string TransferName;
        std::int64_t TotalBytes = 0;
        bool IsSticker = false;
        bool Hidden = false; // hide_attachment
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
    bool Current = false;    // the iOS 16-18 schema: reactions, edits, replies, events, recoverable rows
    std::vector<TJoin> Recoverable; // chat_id, message_id of chat_recoverable_message_join
};

// The SQL that creates and fills each database.
std::string OldSmsSql(const TOldSmsDb& db);
std::string NewSmsSql(const TNewSmsDb& db);

// The message_summary_info of an edited or unsent message, as a binary property list in the
// device's key order: "amc", "ec" (part -> its versions {"d" nanoseconds since 2001, "t" archived
// text}, oldest first, the current text last), "ep" (the edited parts), "rp" (the unsent parts).
struct TEditVersion {
    std::int64_t Nanoseconds;
    std::string Text;
};
std::string MessageSummaryInfo(const std::vector<std::vector<TEditVersion>>& parts,
                               const std::vector<int>& unsentParts);

// A current (iOS 16-18) database: the named iMessage group "Trip" (chat 1) with Anna
// (+447700900001), Ben (+447700900002) and "<b>Sam & Co</b>", holding reactions (one removed, one
// whose target is gone), a sticker placed on "Great" (Library/SMS/Attachments/03/sticker.png), an
// edited, an unsent and a recently deleted message, a reply, group events and three attachments
// (Library/SMS/Attachments/01/IMG_0001.jpeg, a voice memo, and a link preview's data the phone
// hides, Library/SMS/Attachments/04/link.pluginPayloadAttachment); and an SMS group (chat 2) of
// Anna and Ben.
TNewSmsDb TodaysSms();

// The archived attachment info of a first-generation iMessage row, as a device writes it: a
// typedstream holding the attachment's GUID after the class name "NSString".
std::string MadridAttachmentInfo(const std::string& guid);

} // namespace kestrow::test
