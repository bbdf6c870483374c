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
};

// One message.
struct TMsgItem {
    std::int32_t RowId = 0;
    double RawDate = 0; // the date as stored
    std::string Text;   // empty for an MMS, whose text is in its parts
    bool IsSent = false;
    double Date = 0; // local day count; 0 when none
    std::vector<TMsgPiece> Pieces;
    std::string ChatKey; // newer schema: the conversation's chat ROWID
    bool IsIMessage = false;
    std::int32_t SenderIndex = 0; // group chats: the sender's position in the conversation's Addresses

    int PieceCount() const { return static_cast<int>(Pieces.size()); }
    // Text followed by the Content of every part, without separator.
    std::string FullText() const;
    std::string HtmlText() const;
    std::string PieceHtmlText(int index) const;
};

// One conversation.
struct TMsgGroup {
    std::string DisplayName;
    std::string Addresses; // the other parties, joined by ","
    std::vector<TMsgItem> Items;
    bool IsGroupChat = false;
    bool IsIMessage = false;

    int ItemCount() const { return static_cast<int>(Items.size()); }
    // Per message: "<< " (sent) or ">> ", the date text, CR LF, the full text, CR LF CR LF.
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
    int ReadNewGroups(TSQLiteDatabase& db);
    void ReadNewMessages(TSQLiteDatabase& db);

    std::string FFileName;
    std::vector<TMsgGroup> FGroups;
    std::unordered_map<std::string, int> FGroupIndex;
    int FUtcOffset = 0;
    bool FIsNewSchema = false;
    bool FOpenFailed = false;
    std::unique_ptr<TSQLiteDatabase> FPartDb;
    std::unordered_map<std::int64_t, std::string> FHandleNames;
};

// The attachment GUID in an older-schema madrid_attachmentInfo blob: after the class name
// "NSString" the length byte that follows 5 bytes later, then that many bytes. Empty when the blob
// is shorter than 50 bytes, holds no such name, or the length is over 80.
std::string AttachmentGuidOf(std::string_view blob);

} // namespace kestrow
