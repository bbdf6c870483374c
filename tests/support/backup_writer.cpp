#include "support/backup_writer.h"

#include <fstream>
#include <stdexcept>

#include "crypto/digest.h"
#include "platform/paths.h"
#include "support/crypto_writer.h"
#include "support/keybag_writer.h"
#include "support/mbdb_writer.h"
#include "support/plist_writer.h"

namespace kestrow::test {

namespace {

std::string Serialize(plist_t root, bool binary) {
    return binary ? PlistBinary(root) : PlistXml(root);
}

plist_t DescriptionDict(const TBackupSpec& spec, const std::string& keyBag) {
    plist_t dict = plist_new_dict();
    if (!keyBag.empty()) {
        plist_dict_set_item(dict, "BackupKeyBag", plist_new_data(keyBag.data(), keyBag.size()));
    }
    plist_dict_set_item(dict, "Date", PlistDate(spec.DateUnix));
    plist_dict_set_item(dict, "IsEncrypted", plist_new_bool(spec.Encrypted ? 1 : 0));
    if (spec.LockdownInManifest) {
        plist_t lockdown = plist_new_dict();
        plist_dict_set_item(lockdown, "DeviceName", plist_new_string(spec.DeviceName.c_str()));
        plist_dict_set_item(lockdown, "ProductVersion", plist_new_string("5.1.1"));
        if (!spec.UniqueId.empty()) {
            plist_dict_set_item(lockdown, "UniqueDeviceID", plist_new_string(spec.UniqueId.c_str()));
        }
        plist_dict_set_item(dict, "Lockdown", lockdown);
    }
    return dict;
}

void WriteInfoPlist(const std::string& folder, const TBackupSpec& spec) {
    TPlistPtr dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "Device Name", plist_new_string(spec.DeviceName.c_str()));
    plist_dict_set_item(dict.get(), "Display Name", plist_new_string(spec.DeviceName.c_str()));
    plist_dict_set_item(dict.get(), "Last Backup Date", PlistDate(spec.DateUnix));
    if (!spec.UniqueId.empty()) {
        plist_dict_set_item(dict.get(), "Unique Identifier", plist_new_string(spec.UniqueId.c_str()));
    }
    WriteTestFile(folder + "Info.plist", PlistXml(static_cast<plist_t>(dict.get())));
}

TTestKeyBag MakeKeyBag(const TBackupSpec& spec) {
    TTestKeyBag keyBag(spec.Password, spec.Iterations, spec.KeyBagVersion);
    for (std::int32_t clas = 1; clas <= 11; ++clas) {
        keyBag.AddClass(clas, 2, clas == spec.CurveClass ? 1 : 0);
    }
    return keyBag;
}

void WriteMbdbLayout(const std::string& folder, const TBackupSpec& spec, TTestKeyBag* keyBag) {
    TTestRandom random(1234);
    std::vector<TMbdbRecordSpec> records;
    for (const TTestFileSpec& file : spec.Files) {
        TMbdbRecordSpec record;
        record.Domain = file.Domain;
        record.Path = file.Path;
        record.Mode = file.Mode;
        record.Size = file.RecordedSize.value_or(static_cast<std::int64_t>(file.Content.size()));
        record.ProtectionClass = file.ProtectionClass;
        record.DataHash = StringOf(Sha1(file.Content));
        std::string stored = file.Content;
        if (keyBag != nullptr && file.Protected && (file.Mode >> 12) == 8) {
            const TBytes fileKey = random.Bytes(32);
            record.EncryptionKey = ProtectionPrefix(file.ProtectionClass) +
                                   StringOf(keyBag->WrapFileKey(file.ProtectionClass, fileKey));
            stored = AesCbcEncryptPkcs7(fileKey, file.Content);
        }
        records.push_back(record);
        if ((file.Mode >> 12) == 8) {
            WriteTestFile(folder + Sha1HexOf(file.Domain + "-" + file.Path), stored);
        }
    }
    WriteTestFile(folder + "Manifest.mbdb", MbdbBytes(records));
}

std::string NestedPlist(plist_t root) {
    TPlistPtr owner(root);
    return PlistBinary(root);
}

// The oldest layout: the file list nested in Manifest.plist, a .mdinfo and .mddata per file.
plist_t WriteOldLayout(const std::string& folder, const TBackupSpec& spec) {
    plist_t files = plist_new_dict();
    for (const TTestFileSpec& file : spec.Files) {
        const std::string base = Sha1HexOf(file.Domain + "-" + file.Path);
        plist_t props = plist_new_dict();
        plist_dict_set_item(props, "Domain", plist_new_string(file.Domain.c_str()));
        plist_dict_set_item(props, "FileLength", plist_new_uint(file.Content.size()));
        plist_dict_set_item(files, base.c_str(), props);

        plist_t metadata = plist_new_dict();
        plist_dict_set_item(metadata, "Path", plist_new_string(file.Path.c_str()));
        plist_dict_set_item(metadata, "Domain", plist_new_string(file.Domain.c_str()));
        const std::string nested = NestedPlist(metadata);
        TPlistPtr info(plist_new_dict());
        plist_dict_set_item(info.get(), "Metadata", plist_new_data(nested.data(), nested.size()));
        plist_dict_set_item(info.get(), "Version", plist_new_string("3.0"));
        WriteTestFile(folder + base + ".mdinfo", PlistBinary(static_cast<plist_t>(info.get())));
        WriteTestFile(folder + base + ".mddata", file.Content);
    }
    plist_t data = plist_new_dict();
    plist_dict_set_item(data, "Files", files);
    return data;
}

} // namespace

void WriteTestFile(const std::string& path, const std::string& contents) {
    MakeFolders(ParentFolder(path));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string WriteBackup(const std::string& root, const TBackupSpec& spec) {
    const std::string folder = WithTrailingSlash(root) + spec.FolderName + "/";
    MakeFolders(folder);
    std::string keyBagBlock;
    std::optional<TTestKeyBag> keyBag;
    if (spec.Encrypted) {
        keyBag.emplace(MakeKeyBag(spec));
        keyBagBlock = spec.KeyBagBlock.value_or(keyBag->Block());
    }
    TPlistPtr manifest(DescriptionDict(spec, keyBagBlock));
    if (spec.Layout == TLayout::Mbdb) {
        WriteMbdbLayout(folder, spec, keyBag ? &*keyBag : nullptr);
    } else if (spec.Layout == TLayout::Old) {
        const std::string nested = NestedPlist(WriteOldLayout(folder, spec));
        plist_dict_set_item(manifest.get(), "Data", plist_new_data(nested.data(), nested.size()));
    }
    WriteTestFile(folder + "Manifest.plist",
                  Serialize(static_cast<plist_t>(manifest.get()), spec.BinaryManifest));
    if (spec.WriteInfo) {
        WriteInfoPlist(folder, spec);
    }
    return folder;
}

} // namespace kestrow::test
