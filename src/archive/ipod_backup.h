#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stop_token>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/backup_file.h"
#include "archive/backup_file_access.h"
#include "archive/backup_list.h"
#include "archive/backup_readers.h"
#include "archive/copy_failure.h"
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
    catPhotos, // the camera roll (archive/photo_library.h)
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
    // Copies (CopyBackupFile, ExportBackupFile) carry the modification time the manifest records.
    void SetKeepTimes(bool keep) { FKeepTimes = keep; }
    // Logs target + ":Copy:" + error as the failure of a copy or export, keeps the error, returns false.
    bool ReportCopyFailure(const std::string& target, int error);
    // errno of the last failed copy or export.
    int LastCopyError() const { return FLastCopyError; }
    // Upper-case file name -> table key of every message attachment under Library/SMS/Parts/.
    const std::unordered_map<std::string, std::string>& SmsParts();

    // Readers, created on first use; null when the backup has no such database or it could not be
    // read (CategoryState and CategoryError say which; the error is also in the log). A failing
    // database fails its own category only.
    TAddressBook* LoadContacts(bool lastNameFirst = true);
    TShortMessage* LoadMessages();
    TCallLog* LoadCallLog();
    TCalendar* LoadCalendar();
    TNotes* LoadNotes();
    // Bookmarks.db and the history list (found in three places; converted to XML first).
    TSafari* LoadSafari();
    TVoiceMail* LoadVoiceMail();
    // Contact names for conversations and calls (the contacts are loaded when needed); once per
    // reader, and without contacts the names stay the addresses.
    void ResolveMessageNames();
    void ResolveCallNames();
    void ResolveVoiceMailNames();
    TCategoryState CategoryState(int category) const { return FReaders.State(category); }
    const std::string& CategoryError(int category) const { return FReaders.Error(category); }
    void CloseReaders();
    // The readers themselves, for loaders of categories kept outside the session (photos).
    TBackupReaders& Readers() { return FReaders; }

    // A database of the open backup readable by a reader: a protected one, or one whose "-wal"
    // companion is in the table, is written (decrypted) into a folder of the category's own in the
    // private folder under its device file name, with the WAL beside it; a plain one without WAL is
    // read in place. Empty when it cannot be made.
    std::string ExtractDatabase(const std::string& key, const std::string& categoryFolder);
    // The first of the keys the file table holds, or empty.
    std::string FirstPresent(std::initializer_list<const char*> keys) const;

    // Message parts: every part of a message (or a sticker's pictures) written into `folder` (made when
    // needed) as
    // "<part row id>.<extension>", the names of the files written added to `names`; failures are
    // logged and added to `failures`. And one part's bytes for a preview: a file of the backup
    // (dataId < 0) or MMS data kept in the database. And whether a part's file is in the backup.
    void CopyMessageParts(const std::string& folder, const std::vector<TMsgPiece>& pieces,
                          std::vector<std::string>* names, std::vector<TCopyFailure>* failures = nullptr);
    bool MessagePartInBackup(const TMsgPiece& piece);
    bool LoadMessagePart(const std::string& path, std::string& stream, std::int32_t dataId);
    // The stored full picture of contact `index` of the contacts reader, or nothing. A database error
    // stays in its category: the contact has no picture, and `error` says which database failed and
    // why (logged once).
    std::optional<std::string> LoadContactPhoto(int index, std::string& error);

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
    // The category could not be read: its state says why, in one line, and the log too.
    void FailCategory(int category, const std::string& error);
    template <typename TReader, typename TMake>
    TReader* LoadReader(int category, std::unique_ptr<TReader>& slot, const TMake& make);
    int WriteWorkingFile(const TBackupFile& file, const std::string& target);
    // The table key a message attachment's device path stands for, or empty.
    std::string AttachmentKey(const std::string& path) const;
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
    bool FKeepTimes = false;
    TBackupReaders FReaders; // after the private folder: freed first
};

} // namespace kestrow
