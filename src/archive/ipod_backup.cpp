#include "archive/ipod_backup.h"

#include <cerrno>
#include <filesystem>

#include <fmt/format.h>

#include "archive/backup_description.h"
#include "archive/manifest_db.h"
#include "archive/manifest_mbdb.h"
#include "archive/old_manifest.h"
#include "crypto/file_decrypt.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace kestrow {

namespace {

constexpr std::string_view kSmsPartsPrefix = "Library/SMS/Parts/";

struct TCategoryFiles {
    const char* Name;
    const char* Keys[2];
};

constexpr TCategoryFiles kCategories[] = {
    {"Contacts", {"Library/AddressBook/AddressBook.sqlitedb", nullptr}},
    {"Messages", {"Library/SMS/sms.db", nullptr}},
    {"Calls", {"Library/CallHistoryDB/CallHistory.storedata", "Library/CallHistory/call_history.db"}},
    {"Calendar", {"Library/Calendar/Calendar.sqlitedb", nullptr}},
    {"Notes", {"Library/Notes/notes.sqlite", "Library/Notes/notes.db"}},
    {"Bookmarks", {"Library/Safari/Bookmarks.db", "Library/Safari/History.plist"}},
    {"Voicemails", {"Library/Voicemail/voicemail.db", nullptr}},
    {"Files", {nullptr, nullptr}},
};

} // namespace

const char* OpenStatusText(std::uint8_t status) {
    switch (status) {
    case osOpened:
        return "";
    case osEncryptedNoManifest:
        return "Cannot read the data.\rThe backup is either encrypted or damanged.\rPlease try to decrypt it "
               "from "
               "iTunes first.";
    case osWrongPassword:
        return "Wrong password.\rPlease input the correct password to continue.";
    default:
        return "Cannot open the selected backup.\r";
    }
}

const char* CategoryName(int category) {
    return (category >= 0 && category <= catFiles) ? kCategories[category].Name : "";
}

TIpodBackup::TIpodBackup(const std::string& root)
    : FTzOffset(LocalUtcOffset()), FRoot(root.empty() ? std::string() : WithTrailingSlash(root)) {
    if (FTempFolder.IsValid()) {
        FTempFile = FTempFolder.Path() + "~kw1.TMP";
    }
    RefreshBackups();
}

TIpodBackup::~TIpodBackup() {
    CloseReaders();
}

bool TIpodBackup::RefreshBackups() {
    if (!FBackups.empty()) {
        FKeyBag.reset();
    }
    FBackups.clear();
    std::vector<std::string> folders;
    ListBackupFolders(FRoot, folders);
    for (const std::string& folder : folders) {
        ReadManifestDescription(folder, FTempFile, FBackups, FLog);
    }
    return true;
}

std::uint8_t TIpodBackup::OpenEncryptedKeyBag(int idx, const std::string& password) {
    if (!FKeyBag) {
        FKeyBag = std::make_unique<TBackupKeyBag>(FBackups[static_cast<std::size_t>(idx)].KeyBag, idx);
    }
    if (FKeyBag->KeyCount() == 0 || !FKeyBag->SetItunesPassword(password)) {
        return osWrongPassword;
    }
    return osOpened;
}

std::uint8_t TIpodBackup::OpenBackup(int idx, const std::string& password) {
    FFiles.Clear();
    FSmsParts.reset();
    if (FKeyBag && FKeyBag->BackupIdx() != idx) {
        FKeyBag.reset();
    }
    const TIphoneBackup& backup = FBackups[static_cast<std::size_t>(idx)];
    FEncrypted = backup.IsEncrypted;
    FCheckedParent.clear();
    FCanonicalFolder.clear(); // made on the first copy out of this backup
    const bool currentLayout = FileExists(backup.Path + "Manifest.db");
    if (currentLayout || FileExists(backup.Path + "Manifest.mbdb")) {
        if (FEncrypted) {
            if (const std::uint8_t status = OpenEncryptedKeyBag(idx, password); status != osOpened) {
                return status;
            }
        }
        const int count = currentLayout ? ReadCurrentManifest(backup.Path)
                                        : ReadMbdb(backup.Path, FEncrypted, FKeyBag.get(), FFiles, FLog);
        return count == 0 ? osNoFile : osOpened;
    }
    if (FEncrypted) {
        return osEncryptedNoManifest;
    }
    return ReadOldManifest(backup.Path, FTempFile, FFiles) == 0 ? osNoFile : osOpened;
}

int TIpodBackup::ReadCurrentManifest(const std::string& folder) {
    if (!FEncrypted) {
        return ReadManifestDb(folder + "Manifest.db", TempFolder(), false, nullptr, FFiles, FLog);
    }
    // The manifest itself is encrypted with the key wrapped in Manifest.plist's ManifestKey.
    if (!FTempFolder.IsValid()) {
        FLog.Append("Decode manifest error");
        return 0;
    }
    const TBytes manifestKey = ReadManifestKey(folder, FTempFile);
    TBytes key;
    if (manifestKey.size() > 4) {
        const std::int32_t clas =
            manifestKey[0] | (manifestKey[1] << 8) | (manifestKey[2] << 16) | (manifestKey[3] << 24);
        key = FKeyBag->UnwrapFileKey(clas, TBytes(manifestKey.begin() + 4, manifestKey.end()));
    }
    const std::string plainManifest = TempFolder() + "Manifest.db"; // replaced whole on success
    if (key.empty() || !DecryptBackupFileToFile(folder + "Manifest.db", key, plainManifest, 0)) {
        FLog.Append("Decode manifest error");
        return 0;
    }
    return ReadManifestDb(plainManifest, TempFolder(), true, FKeyBag.get(), FFiles, FLog);
}

std::uint8_t TIpodBackup::SelectBackup(int idx, const std::string& password) {
    if (idx < 0) {
        return osNoBackup;
    }
    if (idx == FCurIdx) {
        return osOpened;
    }
    CloseReaders();
    std::uint8_t status = osNoBackup;
    if (static_cast<std::size_t>(idx) < FBackups.size()) {
        FCurIdx = idx;
        status = OpenBackup(idx, password);
        if (status == osOpened) {
            return osOpened;
        }
    }
    FCurIdx = -1;
    return status;
}

std::uint8_t TIpodBackup::SelectDeviceBackup(const std::string& uniqueId, bool force,
                                             const std::string& password) {
    int match = -1;
    double best = 0;
    for (std::size_t i = 0; i < FBackups.size(); ++i) {
        if (!SameTextAscii(FBackups[i].UniqueId, uniqueId)) {
            continue;
        }
        if (!force && static_cast<int>(i) == FCurIdx) {
            match = FCurIdx;
            break;
        }
        if (FBackups[i].LastBackupDate > best) {
            best = FBackups[i].LastBackupDate;
            match = static_cast<int>(i);
        }
    }
    if (match < 0) {
        return osNoBackup;
    }
    if (!force && match == FCurIdx) {
        return osOpened;
    }
    CloseReaders();
    FCurIdx = match;
    const std::uint8_t status = OpenBackup(match, password);
    if (status != osOpened) {
        FCurIdx = -1;
    }
    return status;
}

std::string TIpodBackup::CurrentDeviceName() const {
    return FCurIdx < 0 ? std::string() : FBackups[static_cast<std::size_t>(FCurIdx)].DeviceName;
}

std::string TIpodBackup::CurrentBackupDate() const {
    return FCurIdx < 0 ? std::string()
                       : DateTimeText(FBackups[static_cast<std::size_t>(FCurIdx)].LastBackupDate);
}

bool TIpodBackup::HasCategory(int category) const {
    if (FCurIdx < 0 || category < 0 || category > catFiles) {
        return false;
    }
    if (category == catFiles) {
        return true;
    }
    for (const char* key : kCategories[category].Keys) {
        if (key != nullptr && FFiles.Contains(key)) {
            return true;
        }
    }
    return false;
}

std::string TIpodBackup::BackupFolder() const {
    return FCurIdx < 0 ? std::string() : FBackups[static_cast<std::size_t>(FCurIdx)].Path;
}

std::string TIpodBackup::GetFilePath(const std::string& key) const {
    const TBackupFile* file = FFiles.Find(key);
    return file == nullptr ? std::string() : BackupFolder() + file->FileName;
}

std::string TIpodBackup::ExtractFile(const std::string& key, const std::string& suffix) {
    const TBackupFile* file = FFiles.Find(key);
    if (file == nullptr) {
        return {};
    }
    std::string source = BackupFolder() + file->FileName;
    if (file->Key.empty()) {
        return source;
    }
    if (FTempFile.empty()) {
        return {}; // no private folder: decrypted data is never written anywhere else
    }
    const std::string target = FTempFile + suffix;
    return DecryptBackupFileToFile(source, file->Key, target, file->Size) ? target : std::string();
}

namespace {

std::string CanonicalFolder(const std::string& folder, std::error_code& ec) {
    return WithTrailingSlash(std::filesystem::weakly_canonical(folder, ec).string());
}

} // namespace

bool TIpodBackup::IsOutsideBackup(const std::string& dest) {
    std::string parent = ParentFolder(dest);
    if (parent.empty()) {
        parent = "./";
    }
    if (parent == FCheckedParent) {
        return true;
    }
    std::error_code ec;
    if (FCanonicalFolder.empty()) {
        FCanonicalFolder = CanonicalFolder(BackupFolder(), ec);
    }
    const std::string canonicalParent = CanonicalFolder(parent, ec);
    if (ec || StartsWith(canonicalParent, FCanonicalFolder)) {
        return false;
    }
    FCheckedParent = parent;
    return true;
}

bool TIpodBackup::CopyBackupFile(const std::string& key, const std::string& dest) {
    const TBackupFile* file = FFiles.Find(key);
    if (file == nullptr) {
        FLastCopyError = ENOENT;
        return false;
    }
    // A backup is never written to, not even when the user points a copy into it.
    if (!IsOutsideBackup(dest)) {
        FLastCopyError = EACCES;
        return false;
    }
    const std::string source = BackupFolder() + file->FileName;
    if (file->Key.empty()) {
        FLastCopyError = CopyFileExclusive(source, dest);
        return FLastCopyError == 0;
    }
    // A decrypted copy never replaces a file that is already there, as a plain copy does not.
    if (PathExists(dest)) {
        FLastCopyError = EEXIST;
        return false;
    }
    errno = 0;
    if (!DecryptBackupFileToFile(source, file->Key, dest, file->Size)) {
        FLastCopyError = errno != 0 ? errno : EIO;
        return false;
    }
    FLastCopyError = 0;
    return true;
}

bool TIpodBackup::LoadBackupFile(const std::string& key, std::string& stream) {
    stream.clear();
    const TBackupFile* file = FFiles.Find(key);
    if (file == nullptr) {
        return false;
    }
    const std::string source = BackupFolder() + file->FileName;
    if (file->Key.empty()) {
        ReadWholeFile(source, stream);
    } else {
        DecryptBackupFileToStream(source, file->Key, stream, file->Size);
    }
    return !stream.empty();
}

bool TIpodBackup::ExportBackupFile(const std::string& key, const std::string& dest, bool keepFolders) {
    std::string target = dest;
    if (keepFolders) {
        target = ParentFolder(dest) + key;
        // Table keys come from the backup's manifest: one that could leave the chosen folder is refused.
        if (!IsSafeRelativePath(key)) {
            return ReportCopyFailure(target, EINVAL);
        }
        if (!IsOutsideBackup(target)) {
            return ReportCopyFailure(target, EACCES);
        }
        if (const int err = MakeFolders(ParentFolder(target)); err != 0) {
            return ReportCopyFailure(target, err);
        }
    }
    return CopyBackupFile(key, target) || ReportCopyFailure(target, FLastCopyError);
}

bool TIpodBackup::ReportCopyFailure(const std::string& target, int error) {
    FLastCopyError = error;
    FLog.Append(fmt::format("{}:Copy:{}", target, error));
    return false;
}

const std::unordered_map<std::string, std::string>& TIpodBackup::SmsParts() {
    if (!FSmsParts) {
        FSmsParts = std::make_unique<std::unordered_map<std::string, std::string>>();
        for (const auto& [key, file] : FFiles) {
            if (!StartsWith(key, kSmsPartsPrefix)) {
                continue;
            }
            const std::string name = AsciiUpper(LastPathComponent(key));
            if (name.find("PREVIEW") == std::string::npos) {
                FSmsParts->emplace(name, key); // of equal names the first key met wins
            }
        }
    }
    return *FSmsParts;
}

void TIpodBackup::CloseReaders() {
    // The database readers arrive with their own layer; nothing is held yet.
}

} // namespace kestrow
