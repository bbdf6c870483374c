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

// A content file is named by its fileID: only 40 hexadecimal digits can be trusted as a name.
bool IsFileId(const std::string& id) {
    if (id.size() != 40) {
        return false;
    }
    for (char c : id) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

struct TColumns {
    int FileId;
    int Domain;
    int Path;
    int Flags;
    int File;
};

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
    std::optional<std::uint64_t> values[3];
    if (!file || !archive.DictValues(*file, {"Size", "ProtectionClass", "EncryptionKey"}, values)) {
        return false;
    }
    info.Size = values[0] ? archive.Integer(*values[0]).value_or(0) : 0;
    info.ProtectionClass = static_cast<std::int32_t>(values[1] ? archive.Integer(*values[1]).value_or(0) : 0);
    info.EncryptionKey = DataOf(archive, Dereference(archive, *objects, values[2]));
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
                table->FieldIsNull(col.Path) || table->FieldIsNull(col.Flags) ||
                table->FieldAsInteger(col.Flags) != kRegularFile) {
                continue;
            }
            const std::string id = AsciiLower(table->FieldAsString(col.FileId));
            const std::string domain = UpToNul(table->FieldAsString(col.Domain));
            const std::string path = UpToNul(table->FieldAsString(col.Path));
            if (path.empty() || !IsFileId(id)) {
                continue;
            }
            std::string key = TableKeyOf(domain, path);
            if (files.Contains(key)) {
                continue; // the first row of a key wins
            }
            if (!ParseMbFile(table->FieldAsBlobView(col.File), info) && encrypted) {
                continue; // without its record an encrypted file would pass for a plain one
            }
            const bool isProtected = encrypted && info.EncryptionKey.size() > 4;
            const TBytes wrapped =
                isProtected ? TBytes(info.EncryptionKey.begin() + 4, info.EncryptionKey.end()) : TBytes();
            AddManifestFile(files, std::move(key),
                            {id.substr(0, 2) + "/" + id, info.Size, IsAppDomain(domain), {}}, isProtected,
                            keyBag, info.ProtectionClass, wrapped);
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
