#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/backup_file.h"
#include "archive/backup_file_access.h"
#include "archive/backup_list.h"
#include "archive/session_log.h"
#include "crypto/key_bag.h"
#include "platform/temp_folder.h"

namespace kestrow {

// Outcome of an opening.
enum TOpenStatus : std::uint8_t {
    osOpened = 0,              // opened (or already open)
    osNoBackup = 1,            // no such backup
    osEncryptedNoManifest = 2, // encrypted backup without a manifest that can be read
    osWrongPassword = 3,       // keybag empty or password wrong
    osNoFile = 4,              // the manifest yielded no file
};

// The text a front end shows for a status other than 0.
const char* OpenStatusText(std::uint8_t status);

// Category numbers of HasCategory.
enum TCategory : int {
    catContacts = 0,
    catMessages,
    catCalls,
    catCalendar,
    catNotes,
    catBookmarks,
    catVoicemails,
    catFiles,
};
const char* CategoryName(int category);

// The opened-backup session: the list of backups, the one open backup with its file table and
// keybag, working copies of its files in a private temporary folder, and the problem log.
class TIpodBackup {
public:
    explicit TIpodBackup(const std::string& root = BackupRoot());
    TIpodBackup(const TIpodBackup&) = delete;
    TIpodBackup& operator=(const TIpodBackup&) = delete;
    ~TIpodBackup();

    // Backups.
    bool RefreshBackups();
    const TIphoneBackups& Backups() const { return FBackups; }
    const std::string& Root() const { return FRoot; }

    // Opening; each returns a TOpenStatus.
    std::uint8_t OpenBackup(int idx, const std::string& password);
    std::uint8_t SelectBackup(int idx, const std::string& password);
    std::uint8_t SelectDeviceBackup(const std::string& uniqueId, bool force, const std::string& password);
    int CurrentIndex() const { return FCurIdx; }
    std::string CurrentDeviceName() const;
    std::string CurrentBackupDate() const;
    bool HasCategory(int category) const;

    // Files of the open backup.
    const TFileTable& Files() const { return FFiles; }
    std::string GetFilePath(const std::string& key) const;
    std::string ExtractFile(const std::string& key, const std::string& suffix);
    bool CopyBackupFile(const std::string& key, const std::string& dest);
    bool LoadBackupFile(const std::string& key, std::string& stream);
    bool ExportBackupFile(const std::string& key, const std::string& dest, bool keepFolders);
    // 0 when files may be written into `folder`: it lies outside every backup folder of the root
    // (nothing is ever written inside one). EACCES when it lies inside, errno when it cannot be judged.
    int CheckDestination(const std::string& folder) const;
    // The content files of the open backup, for readers on other threads.
    const TBackupFileAccess& FileAccess() const { return FAccess; }
    // Long copies stop early (ECANCELED) once a stop is requested.
    void SetStopToken(std::stop_token stop) { FStop = std::move(stop); }
    const std::stop_token& StopToken() const { return FStop; }
    // Logs target + ":Copy:" + error as the failure of a copy or export, keeps the error, returns false.
    bool ReportCopyFailure(const std::string& target, int error);
    // errno of the last failed copy or export.
    int LastCopyError() const { return FLastCopyError; }
    // Upper-case file name -> table key of every message attachment under Library/SMS/Parts/.
    const std::unordered_map<std::string, std::string>& SmsParts();

    void CloseReaders();

    // State.
    std::string LogText() const { return FLog.Text(); }
    TSessionLog& Log() { return FLog; }
    const std::string& TempFile() const { return FTempFile; }
    // Whether the private folder for working copies exists; without it nothing is converted or
    // decrypted (nothing is ever written anywhere else).
    bool HasPrivateFolder() const { return FTempFolder.IsValid(); }
    int PrivateFolderError() const { return FTempFolder.Error(); }
    const std::string& TempFolder() const { return FTempFolder.Path(); }
    int TzOffset() const { return FTzOffset; }
    bool IsEncrypted() const { return FEncrypted; }
    TBackupKeyBag* KeyBag() { return FKeyBag.get(); }

private:
    std::uint8_t OpenEncryptedKeyBag(int idx, const std::string& password);
    int ReadCurrentManifest(const std::string& folder);
    std::string BackupFolder() const;
    void FindProtectedFolders(const std::vector<std::string>& folders);
    int CopyOut(const TBackupFile& file, const std::string& dest) const;
    int ExportKeepingFolders(const std::string& key, const std::string& base);

    TSessionLog FLog;
    int FCurIdx = -1;
    TTempFolder FTempFolder;
    std::string FTempFile;
    int FTzOffset = 0;
    TFileTable FFiles;
    bool FEncrypted = false;
    std::unique_ptr<TBackupKeyBag> FKeyBag;
    std::unique_ptr<std::unordered_map<std::string, std::string>> FSmsParts;
    TIphoneBackups FBackups;
    std::string FRoot;
    int FLastCopyError = 0;
    std::vector<std::string> FProtectedFolders; // every backup folder of the root, links resolved
    TBackupFileAccess FAccess;
    std::stop_token FStop;
};

} // namespace kestrow
