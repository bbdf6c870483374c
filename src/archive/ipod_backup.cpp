#include "archive/ipod_backup.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>

#include <climits>
#include <fmt/format.h>

#include "archive/backup_description.h"
#include "archive/manifest_db.h"
#include "archive/manifest_mbdb.h"
#include "archive/name_resolution.h"
#include "archive/old_manifest.h"
#include "archive/plist.h"
#include "crypto/file_decrypt.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/output_tree.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

constexpr std::string_view kSmsPartsPrefix = "Library/SMS/Parts/";

struct TCategoryFiles {
    const char* Name;
    const char* Keys[4]; // tried in order; a null ends the list
};

constexpr TCategoryFiles kCategories[] = {
    {"Contacts", {"Library/AddressBook/AddressBook.sqlitedb", nullptr}},
    {"Messages", {"Library/SMS/sms.db", nullptr}},
    {"Calls", {"Library/CallHistoryDB/CallHistory.storedata", "Library/CallHistory/call_history.db"}},
    {"Calendar", {"Library/Calendar/Calendar.sqlitedb", nullptr}},
    {"Notes",
     {"Library/Notes/notes.sqlite", "Library/Notes/notes.db", "NoteStore.sqlite",
      "Library/Notes/NoteStore.sqlite"}},
    {"Bookmarks",
     {"Library/Safari/Bookmarks.db", "Library/Safari/History.plist",
      "apple.mobilesafari/Library/Safari/History.db", "Library/Safari/History.db"}},
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
    if (category == catPhotos) {
        return "Photos";
    }
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
    FindProtectedFolders(folders);
    for (const std::string& folder : folders) {
        ReadManifestDescription(folder, FTempFile, FBackups, FLog);
    }
    return true;
}

void TIpodBackup::FindProtectedFolders(const std::vector<std::string>& folders) {
    FProtectedFolders.clear();
    for (const std::string& folder : folders) {
        const std::string base = WithTrailingSlash(folder);
        const bool isBackup = PathExists(FindNameNoCase(base, "manifest.plist")) ||
                              PathExists(FindNameNoCase(base, "info.plist")) ||
                              PathExists(base + "Manifest.mbdb") || PathExists(base + "Manifest.db");
        char resolved[PATH_MAX];
        if (isBackup && ::realpath(folder.c_str(), resolved) != nullptr) {
            FProtectedFolders.push_back(WithTrailingSlash(resolved));
        }
    }
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
    if (FAccess.Open(backup.Path) != 0) {
        return osNoFile;
    }
    ProtectDatabaseFolder(backup.Path); // databases read in place there never gain a file beside them
    // A manifest that is there but is no regular file is still the one to read (and fails there,
    // with its log line), not a reason to fall back to the oldest layout.
    const auto present = [](const std::string& path) { return PathExists(path) && !FolderExists(path); };
    const bool currentLayout = present(backup.Path + "Manifest.db");
    if (currentLayout || present(backup.Path + "Manifest.mbdb")) {
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
    if (file->Key.empty()) {
        // Read in place, but only when it is a regular file and no link leads to it.
        TFileHandle handle;
        std::int64_t size = 0;
        return FAccess.OpenContent(*file, handle, size) == 0 ? BackupFolder() + file->FileName
                                                             : std::string();
    }
    if (FTempFile.empty()) {
        return {}; // no private folder: decrypted data is never written anywhere else
    }
    const std::string target = FTempFile + suffix;
    TAtomicFileWriter writer(target, TPublishMode::Replace);
    std::uint64_t written = 0;
    if (!writer.IsOpen() || FAccess.WriteContent(*file, writer.Fd(), FStop, written) != 0 ||
        !writer.Commit()) {
        return {};
    }
    return target;
}

int TIpodBackup::CheckDestination(const std::string& folder) const {
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(folder.empty() ? "." : folder, ec);
    if (ec) {
        return ec.value();
    }
    const std::string resolved = WithTrailingSlash(canonical.string());
    for (const std::string& backup : FProtectedFolders) {
        if (StartsWith(resolved, backup)) {
            return EACCES;
        }
    }
    return 0;
}

int TIpodBackup::CopyOut(const TBackupFile& file, const std::string& dest) const {
    const std::string name = LastPathComponent(dest);
    if (name.empty()) {
        return EISDIR;
    }
    const std::string parent = ParentFolder(dest).empty() ? "./" : ParentFolder(dest);
    if (const int err = CheckDestination(parent); err != 0) {
        return err;
    }
    const TFileHandle folder(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.IsOpen()) {
        return errno;
    }
    std::uint64_t written = 0;
    return FAccess.CopyTo(file, folder.Fd(), name, TPublishMode::NoReplace, FStop, written, FKeepTimes);
}

bool TIpodBackup::CopyBackupFile(const std::string& key, const std::string& dest) {
    const TBackupFile* file = FFiles.Find(key);
    FLastCopyError = file == nullptr ? kNotInBackupError : CopyOut(*file, dest);
    return FLastCopyError == 0;
}

bool TIpodBackup::LoadBackupFile(const std::string& key, std::string& stream) {
    stream.clear();
    const TBackupFile* file = FFiles.Find(key);
    if (file == nullptr || FAccess.Load(*file, stream) != 0) {
        stream.clear();
        return false;
    }
    return !stream.empty();
}

int TIpodBackup::ExportKeepingFolders(const std::string& key, const std::string& base) {
    // Table keys come from the backup's manifest: one that could leave the chosen folder is refused.
    if (!IsSafeRelativePath(key)) {
        return EINVAL;
    }
    const TBackupFile* file = FFiles.Find(key);
    if (file == nullptr) {
        return kNotInBackupError;
    }
    if (const int err = CheckDestination(base); err != 0) {
        return err;
    }
    TOutputTree tree;
    int err = tree.Open(base);
    const TOutputTree::TFolder folder =
        err == 0 ? tree.Folder(WithoutTrailingSlash(ParentFolder(key)), err) : nullptr;
    if (!folder) {
        return err;
    }
    std::uint64_t written = 0;
    return FAccess.CopyTo(*file, folder->Fd(), LastPathComponent(key), TPublishMode::NoReplace, FStop,
                          written);
}

bool TIpodBackup::ExportBackupFile(const std::string& key, const std::string& dest, bool keepFolders) {
    if (!keepFolders) {
        return CopyBackupFile(key, dest) || ReportCopyFailure(dest, FLastCopyError);
    }
    const std::string base = ParentFolder(dest).empty() ? "./" : ParentFolder(dest);
    const int err = ExportKeepingFolders(key, base);
    FLastCopyError = err;
    return err == 0 || ReportCopyFailure(ParentFolder(dest) + key, err);
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

namespace {

// The folder of each category's working files in the private folder.
constexpr const char* kContactImagesKey = "Library/AddressBook/AddressBookImages.sqlitedb";

constexpr const char* kCategoryFolders[] = {"contacts",  "messages",  "calls", "calendar", "notes",
                                            "bookmarks", "voicemail", "files", "photos"};

} // namespace

void TIpodBackup::CloseReaders() {
    if (FReaders.Sms) {
        FReaders.Sms->CloseDatabase();
    }
    FReaders.Close();
    if (FTempFolder.IsValid()) {
        for (const char* folder : kCategoryFolders) {
            RemoveTree(FTempFolder.Path() + folder);
        }
    }
}

int TIpodBackup::WriteWorkingFile(const TBackupFile& file, const std::string& target) {
    TAtomicFileWriter writer(target, TPublishMode::Replace);
    std::uint64_t written = 0;
    int err = writer.Error();
    if (err == 0) {
        err = FAccess.WriteContent(file, writer.Fd(), FStop, written);
    }
    if (err == 0 && !writer.Commit()) {
        err = writer.Error();
    }
    return err;
}

std::string TIpodBackup::ExtractDatabase(const std::string& key, const std::string& categoryFolder) {
    const TBackupFile* file = FFiles.Find(key);
    if (file == nullptr) {
        return {};
    }
    // The WAL is a separate entry of the table under the database's key + "-wal"; on real phones it
    // holds the newest messages and contacts.
    const TBackupFile* wal = FFiles.Find(key + "-wal");
    if (file->Key.empty() && wal == nullptr) {
        return ExtractFile(key, "");
    }
    if (!FTempFolder.IsValid()) {
        return {};
    }
    const std::string folder = FTempFolder.Path() + categoryFolder + "/";
    const std::string target = folder + LastPathComponent(key);
    if (MakeFolders(folder) != 0 || WriteWorkingFile(*file, target) != 0 ||
        (wal != nullptr && WriteWorkingFile(*wal, target + "-wal") != 0)) {
        return {};
    }
    return target;
}

void TIpodBackup::FailCategory(int category, const std::string& error) {
    FLog.Append(error);
    FReaders.SetState(category, TCategoryState::Failed, error);
}

template <typename TReader, typename TMake>
TReader* TIpodBackup::LoadReader(int category, std::unique_ptr<TReader>& slot, const TMake& make) {
    if (FCurIdx < 0 || FReaders.State(category) != TCategoryState::NotLoaded) {
        return slot.get();
    }
    std::string key;
    for (const char* candidate : kCategories[category].Keys) {
        if (candidate != nullptr && FFiles.Contains(candidate)) {
            key = candidate;
            break;
        }
    }
    if (key.empty()) {
        FReaders.SetState(category, TCategoryState::Absent);
        return nullptr;
    }
    const std::string path = ExtractDatabase(key, kCategoryFolders[category]);
    if (path.empty()) {
        const std::string error = key + ": cannot be read out of the backup";
        FLog.Append(error);
        FReaders.SetState(category, TCategoryState::Failed, error);
        return nullptr;
    }
    try {
        slot = make(path);
        FReaders.SetState(category, TCategoryState::Loaded);
    } catch (const ESQLiteException& e) {
        // The database fails its own category only; the backup and every other category stay.
        FailCategory(category, key + ": " + e.Reason());
    }
    return slot.get();
}

TAddressBook* TIpodBackup::LoadContacts(bool lastNameFirst) {
    return LoadReader(catContacts, FReaders.AddressBook, [this, lastNameFirst](const std::string& path) {
        const std::string images = ExtractDatabase(kContactImagesKey, kCategoryFolders[catContacts]);
        return std::make_unique<TAddressBook>(path, images, lastNameFirst, FTzOffset);
    });
}

std::optional<std::string> TIpodBackup::LoadContactPhoto(int index, std::string& error) {
    error.clear();
    const TAddressBook* book = LoadContacts();
    if (book == nullptr) {
        return std::nullopt;
    }
    try {
        return book->GetPhotoStream(index);
    } catch (const ESQLiteException& e) {
        error = std::string(kContactImagesKey) + ": " + e.Reason();
        if (FLog.Text().find(error) == std::string::npos) {
            FLog.Append(error);
        }
        return std::nullopt;
    }
}

void TIpodBackup::ResolveMessageNames() {
    TShortMessage* sms = FReaders.Sms.get();
    if (sms == nullptr || sms->NamesResolved) {
        return;
    }
    const TAddressBook* book = LoadContacts();
    kestrow::ResolveMessageNames(
        *sms, book == nullptr ? TNameByPhone()
                              : [book](const std::string& phone) { return book->FindNameByPhone(phone); });
}

void TIpodBackup::ResolveCallNames() {
    TCallLog* calls = FReaders.CallLog.get();
    if (calls == nullptr || calls->NamesResolved) {
        return;
    }
    const TAddressBook* book = LoadContacts();
    if (book == nullptr) {
        kestrow::ResolveCallNames(*calls, {}, {});
        return;
    }
    kestrow::ResolveCallNames(
        *calls, [book](const std::string& phone) { return book->FindNameByPhone(phone); },
        [book](std::int64_t rowId) { return book->FindNameByRowId(rowId); });
}

void TIpodBackup::ResolveVoiceMailNames() {
    TVoiceMail* voicemail = FReaders.VoiceMail.get();
    if (voicemail == nullptr || voicemail->NamesResolved) {
        return;
    }
    const TAddressBook* book = LoadContacts();
    for (int i = 0; i < voicemail->Count(); ++i) {
        TVoiceMailItem& item = voicemail->Voicemails(i);
        item.DisplayName = book == nullptr ? item.Sender : book->FindNameByPhone(item.Sender);
    }
    voicemail->NamesResolved = true;
}

TCalendar* TIpodBackup::LoadCalendar() {
    return LoadReader(catCalendar, FReaders.Calendar, [this](const std::string& path) {
        return std::make_unique<TCalendar>(path, FTzOffset);
    });
}

TNotes* TIpodBackup::LoadNotes() {
    return LoadReader(catNotes, FReaders.Notes,
                      [this](const std::string& path) { return std::make_unique<TNotes>(path, FTzOffset); });
}

std::string TIpodBackup::FirstPresent(std::initializer_list<const char*> keys) const {
    for (const char* key : keys) {
        if (FFiles.Contains(key)) {
            return key;
        }
    }
    return {};
}

TSafari* TIpodBackup::LoadSafari() {
    if (FCurIdx < 0 || FReaders.State(catBookmarks) != TCategoryState::NotLoaded) {
        return FReaders.Safari.get();
    }
    const std::string bookmarksKey = FirstPresent({"Library/Safari/Bookmarks.db"});
    const std::string historyKey =
        FirstPresent({"apple.mobilesafari/Library/Safari/History.plist", "Library/Safari/History.plist",
                      "Library/Maps/History.plist"});
    // Phones since 2016 keep the history in History.db, read when no History.plist exists.
    const std::string historyDbKey =
        historyKey.empty()
            ? FirstPresent({"apple.mobilesafari/Library/Safari/History.db", "Library/Safari/History.db"})
            : std::string();
    if (bookmarksKey.empty() && historyKey.empty() && historyDbKey.empty()) {
        FReaders.SetState(catBookmarks, TCategoryState::Absent);
        return nullptr;
    }
    const std::string folder = kCategoryFolders[catBookmarks];
    const std::string bookmarks =
        bookmarksKey.empty() ? std::string() : ExtractDatabase(bookmarksKey, folder);
    const std::string historyDb =
        historyDbKey.empty() ? std::string() : ExtractDatabase(historyDbKey, folder);
    std::string history;
    if (!historyKey.empty()) {
        // The list is binary on devices: converted (keys sorted) into XML beside the other working files.
        const std::string plist = ExtractDatabase(historyKey, folder);
        const std::string workFile =
            FTempFolder.IsValid() ? FTempFolder.Path() + folder + "/History.xml" : "";
        MakeFolders(ParentFolder(workFile));
        history = plist.empty() ? std::string() : OpenPlistXml(plist, "", workFile);
    }
    try {
        FReaders.Safari = std::make_unique<TSafari>(bookmarks, FTzOffset, history, historyDb);
        FReaders.SetState(catBookmarks, TCategoryState::Loaded);
        if (!FReaders.Safari->HistoryError().empty()) {
            FLog.Append(historyDbKey + ": " + FReaders.Safari->HistoryError());
        }
        if (const int deep = FReaders.Safari->TooDeepCount(); deep > 0) {
            FLog.Append(
                fmt::format("Bookmarks deeper than {} folders: {}; only the {} nearest folders are kept",
                            kMaxFolderDepth, deep, kMaxFolderDepth));
        }
    } catch (const ESQLiteException& e) {
        FailCategory(catBookmarks, bookmarksKey + ": " + e.Reason());
    }
    return FReaders.Safari.get();
}

TVoiceMail* TIpodBackup::LoadVoiceMail() {
    return LoadReader(catVoicemails, FReaders.VoiceMail, [this](const std::string& path) {
        return std::make_unique<TVoiceMail>(path, FTzOffset);
    });
}

TShortMessage* TIpodBackup::LoadMessages() {
    return LoadReader(catMessages, FReaders.Sms, [this](const std::string& path) {
        return std::make_unique<TShortMessage>(path, FTzOffset);
    });
}

TCallLog* TIpodBackup::LoadCallLog() {
    return LoadReader(catCalls, FReaders.CallLog, [this](const std::string& path) {
        return std::make_unique<TCallLog>(path, FTzOffset);
    });
}

std::string TIpodBackup::AttachmentKey(const std::string& path) const {
    if (StartsWith(path, "~")) {
        return path.size() > 2 ? path.substr(2) : std::string();
    }
    if (StartsWith(path, "/") && path.find("/var/mobile/") != std::string::npos) {
        return path.size() > 12 ? path.substr(12) : std::string();
    }
    return {};
}

void TIpodBackup::CopyMessageParts(const std::string& folder, const std::vector<TMsgPiece>& pieces,
                                   std::vector<std::string>* names, std::vector<TCopyFailure>* failures) {
    if (!pieces.empty()) {
        MakeFolders(folder);
    }
    const auto failed = [&](const std::string& target, int error) {
        FLog.Append(fmt::format("{}:mms copy:{}", target, error));
        if (failures != nullptr) {
            failures->push_back({target, error});
        }
    };
    for (const TMsgPiece& piece : pieces) {
        const std::string extension = ExtensionOf(piece.FileName);
        const std::string name = std::to_string(piece.RowId) + (extension.empty() ? "" : "." + extension);
        const std::string target = WithTrailingSlash(folder) + name;
        if (piece.Kind == mpkFile) {
            if (const std::string key = AttachmentKey(piece.FileName); !key.empty()) {
                if (!CopyBackupFile(key, target)) {
                    failed(target, FLastCopyError);
                    continue;
                }
            } else {
                const auto found = SmsParts().find(piece.FileName);
                if (found == SmsParts().end()) {
                    if (!SmsParts().empty()) {
                        FLog.Append(piece.FileName + ":mms missing");
                    }
                    continue;
                }
                if (!CopyBackupFile(found->second, target)) {
                    failed(target, FLastCopyError);
                    continue;
                }
            }
        } else if (piece.Kind == mpkData && FReaders.Sms) {
            if (!FReaders.Sms->SavePartData(target, piece.RowId)) {
                failed(target, EIO);
                continue;
            }
        } else {
            continue;
        }
        if (names != nullptr) {
            names->push_back(name);
        }
    }
}

bool TIpodBackup::MessagePartInBackup(const TMsgPiece& piece) {
    if (piece.Kind != mpkFile) {
        return true; // text, or bytes kept in the messages database
    }
    if (const std::string key = AttachmentKey(piece.FileName); !key.empty()) {
        return FFiles.Contains(key);
    }
    return SmsParts().count(piece.FileName) != 0;
}

bool TIpodBackup::LoadMessagePart(const std::string& path, std::string& stream, std::int32_t dataId) {
    stream.clear();
    if (dataId >= 0) {
        std::optional<std::string> data;
        if (FReaders.Sms) {
            try {
                data = FReaders.Sms->GetPartData(dataId);
            } catch (const ESQLiteException&) {
                data.reset();
            }
        }
        stream = data.value_or(std::string());
        return !stream.empty();
    }
    if (const std::string key = AttachmentKey(path); !key.empty()) {
        return LoadBackupFile(key, stream);
    }
    const auto found = SmsParts().find(path);
    return found != SmsParts().end() && LoadBackupFile(found->second, stream);
}

} // namespace kestrow
