#include "archive/manifest_db.h"

#include <optional>

#include "archive/plist.h"
#include "archive/plist_xml.h"
#include "crypto/base64.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/binary_plist.h"
#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

constexpr std::int64_t kRegularFile = 1;
constexpr std::int64_t kSymbolicLink = 4;

// The archived object a value refers to: a UID is followed into the object table once.
std::optional<std::uint64_t> Dereference(const TBinaryPlist& archive, std::uint64_t objects,
                                         std::optional<std::uint64_t> value) {
    if (!value || archive.TypeOf(*value) != TBinaryPlist::TType::Uid) {
        return value;
    }
    const auto index = archive.Uid(*value);
    return index ? archive.Reference(objects, *index) : std::nullopt;
}

// NSData is archived as its bytes or as a dictionary holding them under "NS.data".
TBytes DataOf(const TBinaryPlist& archive, std::optional<std::uint64_t> object) {
    if (object && archive.TypeOf(*object) == TBinaryPlist::TType::Dict) {
        object = archive.DictValue(*object, "NS.data");
    }
    const auto data = object ? archive.Data(*object) : std::nullopt;
    return data ? TBytes(data->begin(), data->end()) : TBytes();
}

// A content file is named by its fileID: only 40 hexadecimal digits (either case) can be trusted as
// a name. The content file's name "xx/<fileID>" in lower case, or empty.
std::string ContentFileName(std::string_view id) {
    if (id.size() != 40) {
        return {};
    }
    std::string name(43, '/');
    for (std::size_t i = 0; i < id.size(); ++i) {
        const char c = id[i] >= 'A' && id[i] <= 'Z' ? static_cast<char>(id[i] - 'A' + 'a') : id[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return {};
        }
        name[3 + i] = c;
    }
    name[0] = name[3];
    name[1] = name[4];
    return name;
}

std::string_view UpToNulView(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

struct TColumns {
    int FileId;
    int Domain;
    int Path;
    int Flags;
    int File;
};

void AddLinkRow(TSQLiteTable& table, const TColumns& col, TFileTable& files) {
    const std::string domain = UpToNul(table.FieldAsString(col.Domain));
    const std::string path = UpToNul(table.FieldAsString(col.Path));
    TMbFileInfo info;
    if (!path.empty() && ParseMbFile(table.FieldAsBlobView(col.File), info)) {
        files.AddLink({TableKeyOf(domain, path), domain, info.Target, info.Mode, info.ModifiedTime});
    }
}

} // namespace

bool ParseMbFile(std::string_view blob, TMbFileInfo& info) {
    info = TMbFileInfo();
    // Read in place: nothing recurses and every reference is checked, so no tree is built.
    TBinaryPlist archive;
    if (!archive.Open(blob) || archive.TypeOf(archive.Root()) != TBinaryPlist::TType::Dict) {
        return false;
    }
    const auto objects = archive.DictValue(archive.Root(), "$objects");
    const auto top = archive.DictValue(archive.Root(), "$top");
    if (!objects || archive.TypeOf(*objects) != TBinaryPlist::TType::Array || !top ||
        archive.TypeOf(*top) != TBinaryPlist::TType::Dict) {
        return false;
    }
    const auto file = Dereference(archive, *objects, archive.DictValue(*top, "root"));
    std::optional<std::uint64_t> values[6];
    if (!file ||
        !archive.DictValues(
            *file, {"Size", "ProtectionClass", "EncryptionKey", "Mode", "LastModified", "Target"}, values)) {
        return false;
    }
    const auto integer = [&](std::optional<std::uint64_t> value) {
        return value ? archive.Integer(*value).value_or(0) : 0;
    };
    info.Size = integer(values[0]);
    info.ProtectionClass = static_cast<std::int32_t>(integer(values[1]));
    info.EncryptionKey = DataOf(archive, Dereference(archive, *objects, values[2]));
    info.Mode = static_cast<std::uint16_t>(integer(values[3]));
    info.ModifiedTime = integer(values[4]);
    const auto target = Dereference(archive, *objects, values[5]);
    info.Target = target ? std::string(archive.Ascii(*target).value_or("")) : std::string();
    return true;
}

int ReadManifestDb(const std::string& dbPath, const std::string& privateFolder, bool encrypted,
                   TBackupKeyBag* keyBag, TFileTable& files, TSessionLog& log) {
    int count = 0;
    try {
        const auto db = OpenBackupDatabase(dbPath, privateFolder);
        const auto table = db->GetTable("SELECT fileID, domain, relativePath, flags, file FROM Files");
        const TColumns col{table->FieldIndex("fileID"), table->FieldIndex("domain"),
                           table->FieldIndex("relativePath"), table->FieldIndex("flags"),
                           table->FieldIndex("file")};
        TMbFileInfo info;
        for (; !table->Eof(); table->Next()) {
            if (table->FieldIsNull(col.FileId) || table->FieldIsNull(col.Domain) ||
                table->FieldIsNull(col.Path) || table->FieldIsNull(col.Flags)) {
                continue;
            }
            const std::int64_t flags = table->FieldAsInteger(col.Flags);
            if (flags == kSymbolicLink) {
                AddLinkRow(*table, col, files);
            }
            if (flags != kRegularFile) {
                continue;
            }
            const std::string_view domain = UpToNulView(table->FieldAsTextView(col.Domain));
            const std::string_view path = UpToNulView(table->FieldAsTextView(col.Path));
            std::string fileName = ContentFileName(table->FieldAsTextView(col.FileId));
            if (path.empty() || fileName.empty()) {
                continue;
            }
            if (!ParseMbFile(table->FieldAsBlobView(col.File), info) && encrypted) {
                continue; // without its record an encrypted file would pass for a plain one
            }
            const bool isProtected = encrypted && info.EncryptionKey.size() > 4;
            if (isProtected) {
                info.EncryptionKey.erase(info.EncryptionKey.begin(), info.EncryptionKey.begin() + 4);
            }
            TBackupFile file = ContentFile(std::move(fileName), info.Size, IsAppDomain(domain));
            file.Mode = info.Mode;
            file.ModifiedTime = info.ModifiedTime;
            AddManifestFile(files, domain, path, std::move(file), isProtected, keyBag, info.ProtectionClass,
                            isProtected ? info.EncryptionKey : TBytes());
            ++count;
        }
    } catch (const ESQLiteException&) {
        log.Append("Dump MBD- error");
    }
    return count;
}

TBytes ReadManifestKey(const std::string& folder, const std::string& workFile) {
    const std::string xml = OpenPlistXml(FindNameNoCase(folder, "manifest.plist"), "", workFile);
    TPlistDocument doc;
    if (xml.empty() || !doc.Load(xml)) {
        return {};
    }
    return Base64Decode(NodeText(FindDictValue(doc.TopDict(), "ManifestKey", false)));
}

} // namespace kestrow
