#include "archive/manifest_db.h"

#include <memory>

#include <plist/plist.h>

#include "archive/binary_plist_check.h"
#include "archive/plist.h"
#include "archive/plist_xml.h"
#include "crypto/base64.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

constexpr std::int64_t kRegularFile = 1;

struct TPlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

// The archived object a UID node points at; null when the index is out of range.
plist_t Dereference(plist_t objects, plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_UID) {
        return node;
    }
    std::uint64_t index = 0;
    plist_get_uid_val(node, &index);
    return index < plist_array_get_size(objects)
               ? plist_array_get_item(objects, static_cast<std::uint32_t>(index))
               : nullptr;
}

std::int64_t IntegerOf(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_UINT) {
        return 0;
    }
    std::uint64_t value = 0;
    plist_get_uint_val(node, &value);
    return static_cast<std::int64_t>(value);
}

TBytes DataOf(plist_t node) {
    if (node != nullptr && plist_get_node_type(node) == PLIST_DICT) {
        node = plist_dict_get_item(node, "NS.data");
    }
    if (node == nullptr || plist_get_node_type(node) != PLIST_DATA) {
        return {};
    }
    char* data = nullptr;
    std::uint64_t length = 0;
    plist_get_data_val(node, &data, &length);
    TBytes bytes(data, data + length);
    std::free(data);
    return bytes;
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
    if (blob.size() < 8 || blob.size() > (std::size_t{1} << 24) || !IsSafeBinaryPlist(blob)) {
        return false;
    }
    plist_t root = nullptr;
    plist_from_bin(blob.data(), static_cast<std::uint32_t>(blob.size()), &root);
    std::unique_ptr<void, TPlistFree> owner(root);
    if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) {
        return false;
    }
    plist_t objects = plist_dict_get_item(root, "$objects");
    plist_t top = plist_dict_get_item(root, "$top");
    if (objects == nullptr || plist_get_node_type(objects) != PLIST_ARRAY || top == nullptr ||
        plist_get_node_type(top) != PLIST_DICT) {
        return false;
    }
    plist_t file = Dereference(objects, plist_dict_get_item(top, "root"));
    if (file == nullptr || plist_get_node_type(file) != PLIST_DICT) {
        return false;
    }
    info.Size = IntegerOf(plist_dict_get_item(file, "Size"));
    info.ProtectionClass = static_cast<std::int32_t>(IntegerOf(plist_dict_get_item(file, "ProtectionClass")));
    info.EncryptionKey = DataOf(Dereference(objects, plist_dict_get_item(file, "EncryptionKey")));
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
            if (!ParseMbFile(table->FieldAsBlob(col.File), info) && encrypted) {
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
