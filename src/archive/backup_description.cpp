#include "archive/backup_description.h"

#include "archive/plist.h"
#include "archive/plist_xml.h"
#include "platform/iso8601.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace kestrow {

namespace {

double PlistDate(const std::string& text) {
    double date = 0;
    return IsoDateToLocal(text, date) ? date : FallbackDate(text);
}

bool IsTrueValue(pugi::xml_node value) {
    return SameTextAscii(value.name(), "true") || NodeText(value) == "1";
}

// Reads DeviceName and UniqueDeviceID from the lockdown dictionary; spaces in its key texts do not
// count. Stops once two keys are taken. Returns whether a device name was found.
bool ReadLockdown(pugi::xml_node dict, TIphoneBackup& entry) {
    int taken = 0;
    bool nameFound = false;
    ScanDictPairs(dict, [&](pugi::xml_node key, pugi::xml_node value) {
        const std::string keyText = WithoutSpaces(NodeText(key));
        if (SameTextAscii(keyText, "DeviceName")) {
            entry.DeviceName = NodeText(value);
            nameFound = true;
            ++taken;
        } else if (SameTextAscii(keyText, "UniqueDeviceID")) {
            entry.UniqueId = AsciiLower(NodeText(value));
            ++taken;
        }
        return taken < 2;
    });
    return nameFound;
}

} // namespace

void ReadManifestDescription(const std::string& folder, const std::string& workFile, TIphoneBackups& backups,
                             TSessionLog& log) {
    const std::string base = WithTrailingSlash(folder);
    const std::string xml = OpenPlistXml(FindNameNoCase(base, "manifest.plist"), "", workFile);
    if (xml.empty()) {
        return;
    }
    TPlistDocument doc;
    if (!doc.Load(xml)) {
        log.Append("Decode manifest error");
        return;
    }
    const pugi::xml_node top = doc.TopDict();
    if (!top) {
        return;
    }
    TIphoneBackup entry;
    bool nameFound = false;
    ScanDictPairs(top, [&](pugi::xml_node key, pugi::xml_node value) {
        const std::string keyText = NodeText(key);
        if (SameTextAscii(keyText, "BackupKeyBag")) {
            entry.KeyBag = NodeText(value);
        } else if (SameTextAscii(keyText, "Date")) {
            entry.LastBackupDate = PlistDate(NodeText(value));
        } else if (SameTextAscii(keyText, "IsEncrypted")) {
            entry.IsEncrypted = IsTrueValue(value);
        } else if (SameTextAscii(keyText, "LockDown")) {
            nameFound = ReadLockdown(value, entry);
            return false; // keys after the lockdown dictionary are not read
        }
        return true;
    });
    if (!nameFound) {
        ReadInfoDescription(FindNameNoCase(base, "info.plist"), entry.IsEncrypted, workFile, backups, log);
        return;
    }
    entry.Path = base;
    if (entry.UniqueId.empty()) {
        entry.UniqueId = UniqueIdFromFolder(base);
    }
    backups.push_back(std::move(entry));
}

void ReadInfoDescription(const std::string& infoPlistPath, bool isEncrypted, const std::string& workFile,
                         TIphoneBackups& backups, TSessionLog& log) {
    const std::string xml = OpenPlistXml(infoPlistPath, "", workFile);
    if (xml.empty()) {
        return;
    }
    TPlistDocument doc;
    if (!doc.Load(xml)) {
        log.Append("Read backupinfo failed");
        return;
    }
    const pugi::xml_node top = doc.TopDict();
    if (!top) {
        return;
    }
    TIphoneBackup entry;
    bool nameFound = false;
    int taken = 0;
    ScanDictPairs(top, [&](pugi::xml_node key, pugi::xml_node value) {
        if (!SameTextAscii(key.name(), "key")) {
            return true;
        }
        const std::string keyText = NodeText(key);
        if (SameTextAscii(keyText, "Device Name")) {
            entry.DeviceName = NodeText(value);
            nameFound = true;
            ++taken;
        } else if (SameTextAscii(keyText, "Last Backup Date")) {
            entry.LastBackupDate = PlistDate(NodeText(value));
            ++taken;
        } else if (SameTextAscii(keyText, "Unique Identifier")) {
            entry.UniqueId = AsciiLower(NodeText(value));
            ++taken;
        }
        return taken < 3;
    });
    if (!nameFound) {
        return;
    }
    entry.Path = ParentFolder(infoPlistPath);
    entry.IsEncrypted = isEncrypted;
    if (entry.UniqueId.empty()) {
        entry.UniqueId = UniqueIdFromFolder(entry.Path);
    }
    backups.push_back(std::move(entry));
}

} // namespace kestrow
