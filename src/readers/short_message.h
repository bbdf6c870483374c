#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace kestrow {

class TSQLiteDatabase;
class TSQLiteTable;
class TKeptRows;
template <typename TValue> class TRowIdIndex;

// Kinds of a message part.
enum TMsgPieceKind : std::uint8_t {
    mpkText = 0, // the text is in Content
    mpkData = 1, // the bytes are in the database (GetPartData); Content is the MIME type
    mpkFile = 2, // a file elsewhere in the backup, found by FileName; Content is the MIME type
};

// One part of a message: an MMS part or an attachment.
struct TMsgPiece {
    std::int32_t RowId = 0;
    std::uint8_t Kind = mpkText;
    std::string FileName; // MMS: "<message>-<part>.EXT"; attachments: the device path as stored
    std::string Content;  // text of a text part, else the MIME type
    // Newer schema: what the attachment row says (empty or -1 when it does not).
    std::string TransferName;
    std::int64_t TotalBytes = -1;
    bool IsSticker = false;
    bool Hidden = false; // hide_attachment: the phone does not show it in the conversation
};

// What a row of the current message table is: a message of the conversation, a line about the
// group (someone added, removed, left, renamed it), a reaction to a message or a sticker placed on
// one. Reactions and stickers whose target is read attach to it and are not items themselves.
enum class TMsgRowKind : std::uint8_t { Message, Event, Reaction, Sticker };

enum class TReactionType : std::uint8_t { Love, Like, Dislike, Laugh, Emphasize, Question, Emoji, Sticker };

// A reaction (or a sticker placed on a message) that is still in force. A sticker brings its
// picture: the attachments of its row.
struct TMsgReaction {
    TReactionType Type = TReactionType::Love;
    std::string Emoji; // Emoji reactions
    bool FromMe = false;
    std::string Sender;     // the address of who reacted; empty for the device's owner
    std::string SenderName; // filled by the name resolution; the address until then
    double Date = 0;        // local day count
    int Part = 0;           // the part of the target it is on
    std::vector<TMsgPiece> Pieces;
};

// An earlier version of an edited message.
struct TMsgEdit {
    double Date = 0; // local day count
    std::string Text;
};

enum class TGroupEventType : std::uint8_t { Added, Removed, Left, Renamed, PhotoChanged, PhotoRemoved };

struct TGroupEvent {
    TGroupEventType Type = TGroupEventType::Added;
    std::string Other;     // the address added or removed
    std::string OtherName; // filled by the name resolution
    std::string Name;      // the new name of a renamed group
};

// A value held apart from its owner, where it is rare and large: a pointer's room when absent, copied
// with its owner. Reads like an optional.
template <typename T> class TBoxed {
public:
    TBoxed() = default;
    TBoxed(const TBoxed& other) : FValue(other.FValue ? std::make_unique<T>(*other.FValue) : nullptr) {}
    TBoxed(TBoxed&&) noexcept = default;
    TBoxed& operator=(const TBoxed& other) {
        FValue = other.FValue ? std::make_unique<T>(*other.FValue) : nullptr;
        return *this;
    }
    TBoxed& operator=(TBoxed&&) noexcept = default;
    TBoxed& operator=(T value) {
        FValue = std::make_unique<T>(std::move(value));
        return *this;
    }
    ~TBoxed() = default;

    explicit operator bool() const { return FValue != nullptr; }
    T* operator->() { return FValue.get(); }
    const T* operator->() const { return FValue.get(); }
    T& operator*() { return *FValue; }
    const T& operator*() const { return *FValue; }

private:
    std::unique_ptr<T> FValue;
};

// One message. A million of them are held at once: the flags and small numbers sit together, and
// the rare group event is kept apart.
struct TMsgItem {
    std::int32_t RowId = 0;
    std::int32_t SenderIndex = 0; // group chats: the sender's position in the conversation's Addresses
    double RawDate = 0;           // the date as stored
    double Date = 0;              // local day count; 0 when none
    bool IsSent = false;
    bool IsIMessage = false;
    std::string Text; // empty for an MMS, whose text is in its parts
    std::vector<TMsgPiece> Pieces;
    std::string ChatKey; // newer schema: the conversation's chat ROWID

    // Newer schema, where the columns exist (all empty or false otherwise).
    TMsgRowKind Kind = TMsgRowKind::Message; // Message or Event for the items of a conversation
    bool Edited = false;
    bool Unsent = false;  // every part was unsent: nothing of the message is left
    bool Deleted = false; // deleted on the phone, kept among the recently deleted
    int UnsentParts = 0;
    std::string Guid;
    std::string Sender;     // a received message's sender (the row's handle), or the event's actor
    std::string SenderName; // filled by the name resolution; the address until then
    std::vector<TMsgReaction> Reactions;
    std::vector<TMsgEdit> Edits; // earlier versions, oldest first; the current text is Text
    std::string ReplyTo;         // the GUID of the message this one answers
    TBoxed<TGroupEvent> Event;

    int PieceCount() const { return static_cast<int>(Pieces.size()); }
    // Text followed by the Content of every part, without separator.
    std::string FullText() const;
    std::string HtmlText() const;
    std::string PieceHtmlText(int index) const;
    // The line an event shows: "Anna added Ben", "You named the conversation “Trip”", "Ben left".
    std::string EventText() const;
    // The marks of the newer schema as lines: "Unsent", "Edited" and each earlier version as
    // "date: text", "Deleted", the reactions ("♥ Anna, 👍 You"); none for a plain message.
    std::vector<std::string> Marks() const;
};

// The line a reply quotes of the message it answers: its first line, cut to 80 bytes with "…", or
// the name or type of its first attachment.
std::string QuoteOf(const TMsgItem& target);

// How a reaction looks: ♥ 👍 👎 😂 ‼ ? or its emoji; "Sticker" for a sticker.
std::string ReactionSymbol(const TMsgReaction& reaction);

// One conversation.
struct TMsgGroup {
    std::string DisplayName;
    std::string Addresses; // the other parties, joined by ","
    std::string GroupName; // the name the members gave a group chat; empty when it has none
    std::vector<TMsgItem> Items;
    bool IsGroupChat = false;
    bool IsIMessage = false;

    int ItemCount() const { return static_cast<int>(Items.size()); }
    // Per message: "<< " (sent) or ">> ", the date text, CR LF, the full text, CR LF CR LF. Newer
    // rows add, each on a line: a group chat's sender ("Anna:"), "Reply to “…”" before the text,
    // after it "[Attachment: name]" or "[Hidden attachment: name]" per part, the marks in brackets
    // and "[Sticker: name]" per sticker picture; an event is "-- " date, CR LF, its line, CR LF CR LF.
    std::string AsText() const;
};

// The messages of an sms.db, older schema (group_member, msg_pieces, madrid_* columns) or newer
// (handle, chat, message, attachment and their joins): everything is read in the constructor, in
// table row order. Database errors raise ESQLiteException out of the constructor.
class TShortMessage {
public:
    TShortMessage(const std::string& fileName, int utcOffset);
    TShortMessage(const TShortMessage&) = delete;
    TShortMessage& operator=(const TShortMessage&) = delete;
    ~TShortMessage();

    int GroupCount() const { return static_cast<int>(FGroups.size()); }
    TMsgGroup& Groups(int index) { return FGroups.at(static_cast<std::size_t>(index)); }
    const TMsgGroup& Groups(int index) const { return FGroups.at(static_cast<std::size_t>(index)); }
    bool IsNewSchema() const { return FIsNewSchema; }
    const std::string& FileName() const { return FFileName; }

    // The bytes of an MMS part kept in the database, read on demand through a connection of its own.
    std::optional<std::string> GetPartData(std::int32_t partRowId);
    // Writes a part's bytes to a new file; an existing file is never replaced.
    bool SavePartData(const std::string& target, std::int32_t partRowId);
    void CloseDatabase();

    bool NamesResolved = false;

private:
    int ReadOldGroups(TSQLiteDatabase& db);
    void ReadOldMessages(TSQLiteDatabase& db);
    void ReadOldMms(TSQLiteDatabase& db, TMsgItem& item);
    void ReadMadridMessage(TSQLiteDatabase& db, const TSQLiteTable& row,
                           std::unordered_map<std::string, int>& byHandle);
    // Where a message of the newer schema goes: its chat, that chat's conversation (-1: none read),
    // and whether it was deleted on the phone but is still recoverable.
    struct TChatOf {
        std::int64_t ChatId = 0;
        int Group = -1;
        bool Deleted = false;
    };
    int ReadNewGroups(TSQLiteDatabase& db);
    TRowIdIndex<TChatOf> ReadChatJoins(TSQLiteDatabase& db);
    void ReserveItems(TSQLiteDatabase& db, const TRowIdIndex<TChatOf>& chatOf);
    TMsgItem ReadNewMessage(const TSQLiteTable& row, const TChatOf& chat);
    void ReadNewMessages(TSQLiteDatabase& db);
    void ReadNewAttachments(TSQLiteDatabase& db, TKeptRows& kept, TRowIdIndex<std::size_t>& keptIndex);

    std::string FFileName;
    std::vector<TMsgGroup> FGroups;
    std::unordered_map<std::string, int> FGroupIndex;
    std::unordered_map<std::int64_t, int> FChatGroups; // newer schema: chat ROWID -> conversation
    int FUtcOffset = 0;
    bool FIsNewSchema = false;
    bool FOpenFailed = false;
    std::unique_ptr<TSQLiteDatabase> FPartDb;
    std::unordered_map<std::int64_t, std::string> FHandleNames;
    std::vector<std::vector<std::int64_t>> FMemberHandles; // per conversation, while reading
};

// The earlier versions of an edited message and its unsent parts, from the binary property list
// in message_summary_info: "ec" maps a part ("0", "1", …) to its versions ({"d" date, "t" archived
// text}), "rp" lists the parts unsent. Versions come oldest first with their stored dates (as the
// message table stores dates); the last version of each part is the current text and is left out.
struct TMsgSummary {
    std::vector<std::pair<double, std::string>> Edits;
    int UnsentParts = 0;
};
TMsgSummary ReadMessageSummary(std::string_view plist);

// The attachment GUID in an older-schema madrid_attachmentInfo blob: after the class name
// "NSString" the length byte that follows 5 bytes later, then that many bytes. Empty when the blob
// is shorter than 50 bytes, holds no such name, or the length is over 80.
std::string AttachmentGuidOf(std::string_view blob);

} // namespace kestrow
