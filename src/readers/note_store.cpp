// NoteStore.sqlite, the notes store of phones since 2016: notes, folders, accounts and attachments
// are rows of ZICCLOUDSYNCINGOBJECT whose column numbering moves from version to version, so the
// columns are found by probing which exist and which the note rows fill.
#include <algorithm>
#include <unordered_map>

#include "crypto/note_cipher.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/note_body.h"
#include "readers/note_table.h"
#include "readers/notes.h"
#include "readers/protobuf_reader.h"
#include "readers/sqlite_database.h"

namespace kestrow {

struct TLockedNoteData {
    TBytes Salt;
    std::int64_t Iterations = 0;
    TBytes WrappedKey;
    TBytes Iv;
    TBytes Tag;
    std::string Data;
};

struct TNotes::TAttachmentIndex {
    std::unordered_map<std::string, TNoteAttachment> ById;
    std::unordered_map<std::string, std::string> AltText; // inline attachments (hashtags, mentions)
};

namespace {

constexpr std::size_t kMaxNoteBytes = std::size_t{64} << 20;
constexpr std::int64_t kMaxIterations = 100000000;
constexpr std::size_t kMaxCellBytesPerNote = std::size_t{16} << 20;
constexpr const char* kObjects = "ZICCLOUDSYNCINGOBJECT";
constexpr const char* kNoteRows = "ZNOTEDATA IS NOT NULL";

double NoteDate(double seconds, int utcOffset) {
    return (seconds + utcOffset) / 86400.0 + 36892;
}

bool HasColumn(const std::vector<std::string>& columns, std::string_view name) {
    return std::find(columns.begin(), columns.end(), AsciiUpper(name)) != columns.end();
}

// The columns named `base` or `base` + digits, ordered by how many rows of `rows` fill them (most
// first, unfilled ones left out), as one SQL expression over `alias`; "NULL" when none is filled.
std::string Probe(TSQLiteDatabase& db, const std::vector<std::string>& columns, std::string_view base,
                  const std::string& alias, const std::string& rows) {
    std::vector<std::pair<std::int64_t, std::string>> filled;
    for (const std::string& column : columns) {
        if (column.size() < base.size() || column.compare(0, base.size(), base) != 0 ||
            !std::all_of(column.begin() + static_cast<std::ptrdiff_t>(base.size()), column.end(),
                         [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const auto count = db.GetTable("SELECT COUNT(" + column + ") FROM " + kObjects + " WHERE " + rows);
        if (const std::int64_t n = count->FieldAsInteger(0); n > 0) {
            filled.emplace_back(n, column);
        }
    }
    std::stable_sort(filled.begin(), filled.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    if (filled.empty()) {
        return "NULL";
    }
    if (filled.size() == 1) {
        return alias + "." + filled[0].second;
    }
    std::string expression = "COALESCE(";
    for (std::size_t i = 0; i < filled.size(); ++i) {
        expression += (i > 0 ? ", " : "") + alias + "." + filled[i].second;
    }
    return expression + ")";
}

std::string ColumnOr(const std::vector<std::string>& columns, const std::string& alias, std::string_view name,
                     std::string_view otherwise = "NULL") {
    return HasColumn(columns, name) ? alias + "." + std::string(name) : std::string(otherwise);
}

TNoteAttachmentKind KindOf(std::string_view uti) {
    static constexpr std::string_view kPictures[] = {"public.jpeg",        "public.png",       "public.heic",
                                                     "public.heif",        "public.tiff",      "public.image",
                                                     "com.compuserve.gif", "com.microsoft.bmp"};
    if (uti == "com.apple.notes.table") {
        return TNoteAttachmentKind::Table;
    }
    if (uti == "public.url") {
        return TNoteAttachmentKind::UrlCard;
    }
    if (uti == "com.apple.notes.gallery" || uti == "com.apple.paper.doc.scan") {
        return TNoteAttachmentKind::Scan;
    }
    if (StartsWith(uti, "com.apple.drawing") || uti == "com.apple.paper") {
        return TNoteAttachmentKind::Drawing;
    }
    return std::find(std::begin(kPictures), std::end(kPictures), uti) != std::end(kPictures)
               ? TNoteAttachmentKind::Picture
               : TNoteAttachmentKind::File;
}

TBytes BlobBytes(const TSQLiteTable& table, int column) {
    const std::string_view blob = table.FieldAsBlobView(column);
    return TBytes(blob.begin(), blob.end());
}

// A value of the note row, else of its note-data row (the columns moved between versions).
TBytes EitherBlob(const TSQLiteTable& table, int noteColumn) {
    TBytes value = BlobBytes(table, noteColumn);
    return value.empty() ? BlobBytes(table, noteColumn + 1) : value;
}

} // namespace

const char* NoteOpenText(TNoteOpenResult result) {
    switch (result) {
    case TNoteOpenResult::WrongPassword:
        return "Wrong password for this note.";
    case TNoteOpenResult::Passcode:
        return "This note is locked with the device passcode and cannot be opened from a backup.";
    case TNoteOpenResult::Damaged:
        return "This note's encrypted data is damaged and cannot be opened.";
    case TNoteOpenResult::NotLocked:
        return "This note is not locked.";
    case TNoteOpenResult::Opened:
        break;
    }
    return "";
}

TNotes::TNotes(const std::string& fileName, int utcOffset, std::size_t bodyBudget)
    : FFileName(fileName), FUtcOffset(utcOffset), FBodyBudget(bodyBudget) {
    if (!FileExists(fileName)) {
        return;
    }
    const auto db = OpenDeviceDatabase(fileName);
    if (db->TableExists("znotebody")) {
        ReadNotesSqlite(*db);
    } else if (db->TableExists("ziccloudsyncingobject")) {
        ReadNoteStore(*db);
    } else {
        ReadNotesDb(*db);
    }
}

TNotes::~TNotes() = default;

void TNotes::ReadNoteStore(TSQLiteDatabase& db) {
    FDb = &db;
    const std::vector<std::string> columns = db.ColumnNames(kObjects);
    const std::vector<std::string> dataColumns = db.ColumnNames("ZICNOTEDATA");
    const std::string folders =
        std::string("Z_PK IN (SELECT ZFOLDER FROM ") + kObjects + " WHERE " + kNoteRows + ")";
    const std::string accountExpr = Probe(db, columns, "ZACCOUNT", "o", kNoteRows);
    const std::string folderAccountExpr = Probe(db, columns, "ZACCOUNT", "f", folders);
    std::string sql =
        "SELECT " + Probe(db, columns, "ZTITLE", "o", kNoteRows) + ", " +
        Probe(db, columns, "ZMODIFICATIONDATE", "o", kNoteRows) + ", " +
        Probe(db, columns, "ZCREATIONDATE", "o", kNoteRows) + ", " +
        ColumnOr(columns, "o", "ZISPASSWORDPROTECTED", "0") + ", " +
        ColumnOr(columns, "o", "ZISPINNED", "0") + ", " + ColumnOr(columns, "o", "ZMARKEDFORDELETION", "0") +
        ", " + Probe(db, columns, "ZTITLE", "f", folders) + ", " +
        (HasColumn(columns, "ZFOLDERTYPE") ? "f.ZFOLDERTYPE" : "0") + ", " + ColumnOr(columns, "a", "ZNAME") +
        ", " + ColumnOr(columns, "a", "ZIDENTIFIER") + ", d.ZDATA";
    // Cipher values: each from the note row, else from the note-data row.
    for (const char* name : {"ZCRYPTOSALT", "ZCRYPTOITERATIONCOUNT", "ZCRYPTOWRAPPEDKEY",
                             "ZCRYPTOINITIALIZATIONVECTOR", "ZCRYPTOTAG"}) {
        sql += ", " + ColumnOr(columns, "o", name) + ", " + ColumnOr(dataColumns, "d", name);
    }
    sql += std::string(" FROM ") + kObjects +
           " o LEFT JOIN ZICNOTEDATA d ON d.Z_PK = o.ZNOTEDATA LEFT JOIN " + kObjects +
           " f ON f.Z_PK = o.ZFOLDER LEFT JOIN " + kObjects + " a ON a.Z_PK = " +
           (accountExpr == "NULL" ? folderAccountExpr
                                  : "COALESCE(" + accountExpr + ", " + folderAccountExpr + ")") +
           " WHERE o." + kNoteRows + " ORDER BY o.Z_PK";
    const auto table = db.GetTable(sql);
    for (; !table->Eof(); table->Next()) {
        TNoteItem note;
        note.Title = table->FieldAsString(0);
        note.ModifiedDate = NoteDate(table->FieldAsDouble(1), FUtcOffset);
        note.CreatedDate = table->FieldIsNull(2) ? 0 : NoteDate(table->FieldAsDouble(2), FUtcOffset);
        note.Pinned = table->FieldAsInteger(4) == 1;
        note.Folder = table->FieldAsString(6);
        note.Deleted = table->FieldAsInteger(5) == 1 || table->FieldAsInteger(7) == 1;
        note.Account = table->FieldAsString(8);
        note.AccountId = table->FieldAsString(9);
        note.HasText = true;
        if (table->FieldAsInteger(3) == 1) {
            auto locked = std::make_unique<TLockedNoteData>();
            locked->Salt = EitherBlob(*table, 11);
            locked->Iterations =
                table->FieldIsNull(13) ? table->FieldAsInteger(14) : table->FieldAsInteger(13);
            locked->WrappedKey = EitherBlob(*table, 15);
            locked->Iv = EitherBlob(*table, 17);
            locked->Tag = EitherBlob(*table, 19);
            locked->Data = table->FieldAsBlob(10);
            note.Lock = locked->Salt.empty() ? TNoteLock::Passcode : TNoteLock::Locked;
            note.Body = note.Text = "(locked note)";
            FLocked.emplace(static_cast<int>(FNotes.size()), std::move(locked));
        } else if (FBodyBudget == 0) {
            note.Cut = true;
        } else {
            bool tooLarge = false;
            const auto inflated =
                Inflate(table->FieldAsBlobView(10), std::min(kMaxNoteBytes, FBodyBudget), &tooLarge);
            note.Cut = tooLarge;
            if (inflated) {
                FBodyBudget -= inflated->size();
                FillBody(note, *inflated);
            }
        }
        if (note.Cut) {
            note.Body = note.Text = "(note too large to read)";
        }
        FNotes.push_back(std::move(note));
    }
    if (!FLocked.empty()) {
        Attachments(); // for the notes opened later, when the database is closed
    }
    FDb = nullptr;
}

const TNotes::TAttachmentIndex& TNotes::Attachments() {
    if (FAttachments) {
        return *FAttachments;
    }
    FAttachments = std::make_unique<TAttachmentIndex>();
    if (FDb == nullptr) {
        return *FAttachments;
    }
    const std::vector<std::string> columns = FDb->ColumnNames(kObjects);
    if (!HasColumn(columns, "ZTYPEUTI") || !HasColumn(columns, "ZIDENTIFIER")) {
        return *FAttachments;
    }
    const std::string merge = HasColumn(columns, "ZMERGEABLEDATA1")
                                  ? "a.ZMERGEABLEDATA1"
                                  : ColumnOr(columns, "a", "ZMERGEABLEDATA");
    const std::string media = HasColumn(columns, "ZMEDIA") ? "a.ZMEDIA" : "NULL";
    const auto table = FDb->GetTable(
        "SELECT a.Z_PK, a.ZIDENTIFIER, a.ZTYPEUTI, " + ColumnOr(columns, "a", "ZTITLE") + ", " +
        ColumnOr(columns, "a", "ZURLSTRING") + ", " + ColumnOr(columns, "a", "ZALTTEXT") + ", " + merge +
        ", " + ColumnOr(columns, "a", "ZPARENTATTACHMENT") + ", m.ZIDENTIFIER, " +
        ColumnOr(columns, "m", "ZFILENAME") + " FROM " + kObjects + " a LEFT JOIN " + kObjects +
        " m ON m.Z_PK = " + media + " WHERE a.ZTYPEUTI IS NOT NULL ORDER BY a.Z_PK");
    std::unordered_map<std::int64_t, std::string> idOfRow;
    std::vector<std::pair<std::int64_t, TNoteMediaRef>> pages; // parent row -> a scanned page
    for (; !table->Eof(); table->Next()) {
        TNoteAttachment attachment;
        attachment.Identifier = table->FieldAsString(1);
        attachment.TypeUti = table->FieldAsString(2);
        attachment.Kind = KindOf(attachment.TypeUti);
        const TNoteMediaRef ref{attachment.Identifier, table->FieldAsString(8), table->FieldAsString(9)};
        attachment.Name = !ref.FileName.empty() ? ref.FileName : table->FieldAsString(3);
        if (StartsWith(attachment.TypeUti, "com.apple.notes.inlinetextattachment")) {
            FAttachments->AltText.emplace(attachment.Identifier, table->FieldAsString(5));
            continue;
        }
        if (attachment.Kind == TNoteAttachmentKind::UrlCard) {
            attachment.Url = table->FieldAsString(4);
            attachment.Name = table->FieldAsString(3).empty() ? attachment.Url : table->FieldAsString(3);
        } else if (attachment.Kind == TNoteAttachmentKind::Table) {
            const auto inflated = Inflate(table->FieldAsBlobView(6), kMaxNoteBytes);
            attachment.Cells = inflated ? ReadNoteTable(*inflated) : std::vector<std::vector<std::string>>();
        } else if (attachment.Kind != TNoteAttachmentKind::Scan) {
            attachment.Media.push_back(ref);
        }
        if (!table->FieldIsNull(7)) {
            pages.emplace_back(table->FieldAsInteger(7), ref);
        }
        idOfRow.emplace(table->FieldAsInteger(0), attachment.Identifier);
        FAttachments->ById.try_emplace(attachment.Identifier, std::move(attachment));
    }
    for (const auto& [parent, ref] : pages) {
        const auto id = idOfRow.find(parent);
        if (id != idOfRow.end()) {
            auto gallery = FAttachments->ById.find(id->second);
            if (gallery != FAttachments->ById.end() && gallery->second.Kind == TNoteAttachmentKind::Scan) {
                gallery->second.Media.push_back(ref);
            }
        }
    }
    for (auto& [id, attachment] : FAttachments->ById) {
        if (attachment.Kind == TNoteAttachmentKind::Scan && attachment.Media.empty()) {
            attachment.Media.push_back({attachment.Identifier, {}, {}}); // its fallback picture
        }
    }
    return *FAttachments;
}

void TNotes::FillBody(TNoteItem& note, std::string_view inflated) {
    const auto document = ReadNoteDocument(inflated);
    if (!document) {
        note.Body.clear();
        note.Text.clear();
        return;
    }
    bool anyAttachment = false;
    for (const TNoteRun& run : document->Runs) {
        anyAttachment = anyAttachment || !run.AttachmentId.empty();
    }
    const TAttachmentIndex* index = anyAttachment ? &Attachments() : nullptr;
    TNoteBody body = RenderNoteBody(*document, [index](const std::string& id, const std::string& uti) {
        std::optional<std::string> text;
        if (index != nullptr && StartsWith(uti, "com.apple.notes.inlinetextattachment")) {
            const auto found = index->AltText.find(id);
            text = found != index->AltText.end() ? found->second : std::string();
        }
        return text;
    });
    note.Body = std::move(body.Html);
    note.Text = std::move(body.Text);
    note.Attachments.clear();
    std::size_t cellBytes = 0; // table cells copied into this note: one table named many times is
                               // copied only while the copies stay small
    for (const auto& [id, uti] : body.Attachments) {
        const auto found = index != nullptr ? index->ById.find(id) : decltype(index->ById.end()){};
        if (index != nullptr && found != index->ById.end()) {
            std::size_t bytes = 0;
            for (const auto& row : found->second.Cells) {
                for (const std::string& cell : row) {
                    bytes += cell.size() + 1;
                }
            }
            if (bytes > kMaxCellBytesPerNote - std::min(cellBytes, kMaxCellBytesPerNote)) {
                TNoteAttachment bare = found->second;
                bare.Cells.clear();
                note.Attachments.push_back(std::move(bare));
                continue;
            }
            cellBytes += bytes;
            note.Attachments.push_back(found->second);
        } else {
            TNoteAttachment missing;
            missing.Identifier = id;
            missing.TypeUti = uti;
            missing.Kind = KindOf(uti);
            missing.Name = uti;
            note.Attachments.push_back(std::move(missing));
        }
    }
}

bool TNotes::TryKey(int index, const std::string& password, TNoteOpenResult& result) {
    const TLockedNoteData& locked = *FLocked.at(index);
    if (locked.Iterations < 1 || locked.Iterations > kMaxIterations) {
        result = TNoteOpenResult::Damaged;
        return true;
    }
    const std::string cacheKey =
        password + '\0' + StringOf(locked.Salt) + '\0' + std::to_string(locked.Iterations);
    auto derived = FDerived.find(cacheKey);
    if (derived == FDerived.end()) {
        TBytes kek;
        if (!DeriveNoteKek(password, locked.Salt, static_cast<int>(locked.Iterations), kek)) {
            result = TNoteOpenResult::Damaged;
            return true;
        }
        derived = FDerived.emplace(cacheKey, StringOf(kek)).first;
    }
    TBytes key;
    if (!UnwrapNoteKey(BytesOf(derived->second), locked.WrappedKey, key)) {
        result = TNoteOpenResult::WrongPassword;
        return false;
    }
    std::string plain;
    bool tooLarge = false;
    const auto inflated = AesGcmDecrypt(key, locked.Iv, locked.Tag, locked.Data, plain)
                              ? Inflate(plain, std::min(kMaxNoteBytes, FBodyBudget), &tooLarge)
                              : std::nullopt;
    TNoteItem& note = FNotes[static_cast<std::size_t>(index)];
    if (!inflated || !ReadNoteDocument(*inflated)) {
        result = TNoteOpenResult::Damaged;
        note.Lock = TNoteLock::Damaged;
        if (tooLarge) {
            note.Cut = true;
            note.Body = note.Text = "(note too large to read)";
        }
        return true;
    }
    FBodyBudget -= inflated->size();
    FillBody(note, *inflated);
    note.Lock = TNoteLock::Opened;
    FLocked.erase(index);
    if (std::find(FGoodPasswords.begin(), FGoodPasswords.end(), password) == FGoodPasswords.end()) {
        FGoodPasswords.insert(FGoodPasswords.begin(), password);
    }
    result = TNoteOpenResult::Opened;
    return true;
}

TNoteOpenResult TNotes::OpenNote(int index, const std::string& password) {
    const TNoteItem& note = Notes(index);
    if (note.Lock == TNoteLock::Passcode) {
        return TNoteOpenResult::Passcode;
    }
    if (note.Lock == TNoteLock::Damaged) {
        return TNoteOpenResult::Damaged;
    }
    if (!FLocked.contains(index)) {
        return TNoteOpenResult::NotLocked;
    }
    std::vector<std::string> candidates = FGoodPasswords;
    if (std::find(candidates.begin(), candidates.end(), password) == candidates.end()) {
        candidates.push_back(password);
    }
    TNoteOpenResult result = TNoteOpenResult::WrongPassword;
    for (const std::string& candidate : candidates) {
        if (TryKey(index, candidate, result)) {
            break;
        }
    }
    return result;
}

int TNotes::OpenLockedNotes(const std::vector<std::string>& passwords) {
    int opened = 0;
    std::vector<int> waiting;
    for (const auto& [index, data] : FLocked) {
        if (FNotes[static_cast<std::size_t>(index)].Lock == TNoteLock::Locked) {
            waiting.push_back(index);
        }
    }
    const std::vector<std::string> tried = passwords.empty() ? FGoodPasswords : passwords;
    for (const int index : waiting) {
        for (const std::string& password : tried) {
            // Passwords that opened a note come first, so one account's notes cost one derivation.
            if (OpenNote(index, password) != TNoteOpenResult::WrongPassword) {
                break;
            }
        }
        opened += Notes(index).Lock == TNoteLock::Opened ? 1 : 0;
    }
    return opened;
}

int TNotes::LockedCount() const {
    return static_cast<int>(std::count_if(FNotes.begin(), FNotes.end(),
                                          [](const TNoteItem& n) { return n.Lock == TNoteLock::Locked; }));
}

} // namespace kestrow
