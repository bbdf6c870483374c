#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "archive/backup_file.h"
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
    // Whether a copy to `dest` would land outside the open backup's folder (nothing is ever written inside).
    bool IsOutsideBackup(const std::string& dest);
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
    const std::string& TempFolder() const { return FTempFolder.Path(); }
    int TzOffset() const { return FTzOffset; }
    bool IsEncrypted() const { return FEncrypted; }
    TBackupKeyBag* KeyBag() { return FKeyBag.get(); }

private:
    std::uint8_t OpenEncryptedKeyBag(int idx, const std::string& password);
    int ReadCurrentManifest(const std::string& folder);
    std::string BackupFolder() const;

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
    std::string FCanonicalFolder; // the open backup's folder with links and ".." resolved
    std::string FCheckedParent;   // the last destination folder found to lie outside the open backup
};

} // namespace kestrow
