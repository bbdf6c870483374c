#include "support/backup_writer.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/paths.h"
#include "support/crypto_writer.h"
#include "support/keybag_writer.h"
#include "support/mbdb_writer.h"
#include "support/plist_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow::test {

namespace {

std::string Serialize(plist_t root, bool binary) {
    return binary ? PlistBinary(root) : PlistXml(root);
}

plist_t LockdownDict(const TBackupPlan& plan) {
    plist_t lockdown = plist_new_dict();
    plist_dict_set_item(lockdown, "ProductVersion", plist_new_string("9.3.6"));
    plist_dict_set_item(lockdown, "SerialNumber", plist_new_string("C39GQ1ABCDEF"));
    if (!plan.UniqueId.empty()) {
        plist_dict_set_item(lockdown, "UniqueDeviceID", plist_new_string(plan.UniqueId.c_str()));
    }
    plist_dict_set_item(lockdown, "DeviceName", plist_new_string(plan.DeviceName.c_str()));
    plist_dict_set_item(lockdown, "BuildVersion", plist_new_string("13G37"));
    return lockdown;
}

plist_t ApplicationsDict() {
    plist_t app = plist_new_dict();
    plist_dict_set_item(app, "CFBundleVersion", plist_new_string("2.1"));
    plist_dict_set_item(app, "ApplicationSINF", plist_new_data("sinf", 4));
    plist_t apps = plist_new_dict();
    plist_dict_set_item(apps, "com.example.notes", app);
    return apps;
}

// Manifest.plist with its keys in the order a device writes them (not sorted): the description
// scan depends on the conversion to XML sorting them.
plist_t DescriptionDict(const TBackupPlan& plan, const std::string& keyBag, const std::string& manifestKey) {
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "SystemDomainsVersion", plist_new_string("20.0"));
    plist_dict_set_item(dict, "Applications", ApplicationsDict());
    if (plan.LockdownInManifest) {
        plist_dict_set_item(dict, "Lockdown", LockdownDict(plan));
    }
    plist_dict_set_item(dict, "Version", plist_new_string("9.1"));
    plist_dict_set_item(dict, "IsEncrypted", plist_new_bool(plan.Encrypted ? 1 : 0));
    if (!keyBag.empty()) {
        plist_dict_set_item(dict, "BackupKeyBag", plist_new_data(keyBag.data(), keyBag.size()));
    }
    if (!manifestKey.empty()) {
        plist_dict_set_item(dict, "ManifestKey", plist_new_data(manifestKey.data(), manifestKey.size()));
    }
    plist_dict_set_item(dict, "WasPasscodeSet", plist_new_bool(0));
    plist_dict_set_item(dict, "Date", PlistDate(plan.DateUnix));
    return dict;
}

// Status.plist as a device writes it at the start ("new", "uploading") and end ("finished") of a run.
void WriteStatusPlist(const std::string& folder, const TBackupPlan& plan) {
    TPlistPtr dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "BackupState", plist_new_string("new"));
    plist_dict_set_item(dict.get(), "Date", PlistDate(plan.DateUnix));
    plist_dict_set_item(dict.get(), "IsFullBackup", plist_new_bool(0));
    plist_dict_set_item(dict.get(), "SnapshotState", plist_new_string(plan.SnapshotState.c_str()));
    plist_dict_set_item(dict.get(), "UUID", plist_new_string("5B1E6E0D-8F2A-4C4B-9C0B-1D2E3F405162"));
    plist_dict_set_item(dict.get(), "Version", plist_new_string("3.3"));
    WriteTestFile(folder + "Status.plist", PlistBinary(static_cast<plist_t>(dict.get())));
}

void WriteInfoPlist(const std::string& folder, const TBackupPlan& plan) {
    TPlistPtr dict(plist_new_dict());
    plist_dict_set_item(dict.get(), "Device Name", plist_new_string(plan.DeviceName.c_str()));
    plist_dict_set_item(dict.get(), "Display Name", plist_new_string(plan.DeviceName.c_str()));
    plist_dict_set_item(dict.get(), "Last Backup Date", PlistDate(plan.DateUnix));
    if (!plan.UniqueId.empty()) {
        plist_dict_set_item(dict.get(), "Unique Identifier", plist_new_string(plan.UniqueId.c_str()));
    }
    WriteTestFile(folder + "Info.plist", PlistXml(static_cast<plist_t>(dict.get())));
}

TTestKeyBag MakeKeyBag(const TBackupPlan& plan) {
    TTestKeyBag keyBag(plan.Password, plan.Iterations, plan.KeyBagVersion);
    if (plan.DoubleIterations > 0) {
        keyBag.SetDoubleDerivation(plan.DoubleIterations);
    }
    for (std::int32_t clas = 1; clas <= 11; ++clas) {
        keyBag.AddClass(clas, 2, clas == plan.CurveClass ? 1 : 0);
    }
    return keyBag;
}

void WriteMbdbLayout(const std::string& folder, const TBackupPlan& plan, TTestKeyBag* keyBag) {
    TTestRandom random(1234);
    std::vector<TMbdbRecordPlan> records;
    for (std::size_t i = 0; i < plan.Files.size(); ++i) {
        const TTestFile& file = plan.Files[i];
        const std::string generated = plan.Generate ? plan.Generate(i) : std::string();
        const std::string& content = plan.Generate ? generated : file.Content;
        TMbdbRecordPlan record;
        record.Domain = file.Domain;
        record.Path = file.Path;
        record.Mode = file.Mode;
        record.ModifiedTime = static_cast<std::uint32_t>(file.ModifiedTime);
        if (!file.LinkTarget.empty()) {
            record.LinkTarget = file.LinkTarget;
        }
        record.Size = file.RecordedSize.value_or(static_cast<std::int64_t>(content.size()));
        record.ProtectionClass = file.ProtectionClass;
        record.DataHash = OpenSslSha1(content);
        std::string stored = content;
        if (keyBag != nullptr && file.Protected && (file.Mode >> 12) == 8) {
            const TBytes fileKey = random.Bytes(32);
            record.EncryptionKey = ProtectionPrefix(file.ProtectionClass) +
                                   StringOf(keyBag->WrapFileKey(file.ProtectionClass, fileKey));
            if (file.BadKey) {
                record.EncryptionKey->back() ^= 1;
            }
            stored = AesCbcEncryptPkcs7(fileKey, content);
        }
        records.push_back(record);
        if ((file.Mode >> 12) == 8) {
            WriteTestFile(folder + OpenSslSha1Hex(file.Domain + "-" + file.Path), stored);
        }
    }
    WriteTestFile(folder + "Manifest.mbdb", MbdbBytes(records));
}

constexpr std::int32_t kManifestClass = 4;

// Writes Manifest.db as it is, or encrypted with a fresh key; returns the ManifestKey (empty when plain).
std::string FinishManifestDb(const std::string& folder, const std::string& plainBytes, TTestKeyBag* keyBag,
                             TTestRandom& random) {
    if (keyBag == nullptr) {
        WriteTestFile(folder + "Manifest.db", plainBytes);
        return {};
    }
    const TBytes manifestKey = random.Bytes(32);
    WriteTestFile(folder + "Manifest.db", AesCbcEncryptPkcs7(manifestKey, plainBytes));
    return ProtectionPrefix(kManifestClass) + StringOf(keyBag->WrapFileKey(kManifestClass, manifestKey));
}

// The current layout: Manifest.db with one row per file, content files in "xx/<fileID>" folders.
// Returns the ManifestKey of an encrypted backup.
std::string WriteManifestDbLayout(const std::string& folder, const TBackupPlan& plan, TTestKeyBag* keyBag) {
    TTestRandom random(4321);
    const std::string plainDb = folder + "Manifest.db.plain";
    std::vector<TManifestRow> rows;
    for (std::size_t i = 0; i < plan.Files.size(); ++i) {
        const TTestFile& file = plan.Files[i];
        const std::string generated = plan.Generate && plan.WriteContent ? plan.Generate(i) : std::string();
        const std::string& content = plan.Generate ? generated : file.Content;
        const std::string id = OpenSslSha1Hex(file.Domain + "-" + file.Path);
        const bool regular = (file.Mode >> 12) == 8;
        std::string stored = content;
        std::string wrapped;
        if (keyBag != nullptr && file.Protected && regular) {
            const TBytes fileKey = random.Bytes(32);
            wrapped = ProtectionPrefix(file.ProtectionClass) +
                      StringOf(keyBag->WrapFileKey(file.ProtectionClass, fileKey));
            stored = AesCbcEncryptPkcs7(fileKey, content);
        }
        const std::int64_t size = file.RecordedSize.value_or(static_cast<std::int64_t>(content.size()));
        const int flags = regular ? 1 : ((file.Mode >> 12) == 4 ? 2 : 4);
        rows.push_back({id, file.Domain, file.Path, flags,
                        MbFileBlob(file.Path, size, file.ProtectionClass, file.Mode, wrapped,
                                   file.ModifiedTime, file.LinkTarget)});
        if (regular && plan.WriteContent) {
            WriteTestFile(folder + id.substr(0, 2) + "/" + id, stored);
        }
    }
    WriteManifestDb(plainDb, rows);
    std::string plainBytes;
    std::ifstream in(plainDb, std::ios::binary);
    plainBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(plainDb.c_str());
    return FinishManifestDb(folder, plainBytes, keyBag, random);
}

std::string NestedPlist(plist_t root) {
    TPlistPtr owner(root);
    return PlistBinary(root);
}

// The oldest layout: the file list nested in Manifest.plist, a .mdinfo and .mddata per file.
plist_t WriteOldLayout(const std::string& folder, const TBackupPlan& plan) {
    plist_t files = plist_new_dict();
    for (const TTestFile& file : plan.Files) {
        const std::string base = OpenSslSha1Hex(file.Domain + "-" + file.Path);
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

std::string MbFileBlob(const std::string& relativePath, std::int64_t size, std::int32_t protectionClass,
                       std::uint16_t mode, const std::string& encryptionKey, std::int64_t modifiedTime,
                       const std::string& linkTarget) {
    TPlistPtr root(plist_new_dict());
    plist_t objects = plist_new_array();
    plist_array_append_item(objects, plist_new_string("$null"));
    plist_t file = plist_new_dict();
    plist_dict_set_item(file, "Size", plist_new_uint(static_cast<std::uint64_t>(size)));
    plist_dict_set_item(file, "ProtectionClass", plist_new_uint(static_cast<std::uint64_t>(protectionClass)));
    plist_dict_set_item(file, "Mode", plist_new_uint(mode));
    plist_dict_set_item(file, "LastModified", plist_new_uint(static_cast<std::uint64_t>(modifiedTime)));
    plist_dict_set_item(file, "Birth", plist_new_uint(1475000000));
    plist_dict_set_item(file, "InodeNumber", plist_new_uint(12345));
    plist_dict_set_item(file, "RelativePath", plist_new_uid(2));
    plist_dict_set_item(file, "$class", plist_new_uid(encryptionKey.empty() ? 3 : 4));
    plist_array_append_item(objects, file);
    plist_array_append_item(objects, plist_new_string(relativePath.c_str()));
    plist_t fileClass = plist_new_dict();
    plist_dict_set_item(fileClass, "$classname", plist_new_string("MBFile"));
    plist_array_append_item(objects, fileClass);
    if (!encryptionKey.empty()) {
        plist_dict_set_item(file, "EncryptionKey", plist_new_uid(3));
        plist_t data = plist_new_dict();
        plist_dict_set_item(data, "NS.data", plist_new_data(encryptionKey.data(), encryptionKey.size()));
        plist_dict_set_item(data, "$class", plist_new_uid(5));
        plist_array_insert_item(objects, data, 3);
        plist_t dataClass = plist_new_dict();
        plist_dict_set_item(dataClass, "$classname", plist_new_string("NSMutableData"));
        plist_array_append_item(objects, dataClass);
    }
    if (!linkTarget.empty()) { // the target string is the last object
        plist_dict_set_item(file, "Target", plist_new_uid(plist_array_get_size(objects)));
        plist_array_append_item(objects, plist_new_string(linkTarget.c_str()));
    }
    plist_dict_set_item(root.get(), "$version", plist_new_uint(100000));
    plist_dict_set_item(root.get(), "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(1));
    plist_dict_set_item(root.get(), "$top", top);
    plist_dict_set_item(root.get(), "$objects", objects);
    return PlistBinary(static_cast<plist_t>(root.get()));
}

void WriteTestFile(const std::string& path, const std::string& contents) {
    MakeFolders(ParentFolder(path));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string WriteBackup(const std::string& root, const TBackupPlan& plan) {
    const std::string folder = WithTrailingSlash(root) + plan.FolderName + "/";
    MakeFolders(folder);
    std::string keyBagBlock;
    std::optional<TTestKeyBag> keyBag;
    if (plan.Encrypted) {
        keyBag.emplace(MakeKeyBag(plan));
        keyBagBlock = plan.KeyBagBlock.value_or(keyBag->Block());
    }
    std::string manifestKey;
    if (plan.Layout == TLayout::ManifestDb) {
        manifestKey = WriteManifestDbLayout(folder, plan, keyBag ? &*keyBag : nullptr);
    }
    TPlistPtr manifest(DescriptionDict(plan, keyBagBlock, manifestKey));
    if (plan.Layout == TLayout::Mbdb) {
        WriteMbdbLayout(folder, plan, keyBag ? &*keyBag : nullptr);
    } else if (plan.Layout == TLayout::Old) {
        const std::string nested = NestedPlist(WriteOldLayout(folder, plan));
        plist_dict_set_item(manifest.get(), "Data", plist_new_data(nested.data(), nested.size()));
    }
    WriteTestFile(folder + "Manifest.plist",
                  Serialize(static_cast<plist_t>(manifest.get()), plan.BinaryManifest));
    if (plan.WriteInfo) {
        WriteInfoPlist(folder, plan);
    }
    if (!plan.SnapshotState.empty() && plan.Layout != TLayout::Old) {
        WriteStatusPlist(folder, plan);
    }
    return folder;
}

} // namespace kestrow::test
