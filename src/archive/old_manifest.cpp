#include "archive/old_manifest.h"

#include <cstdlib>

#include "archive/plist.h"
#include "archive/plist_xml.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace kestrow {

namespace {

std::int64_t IntegerOf(const std::string& text) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return (end == text.c_str() || *end != '\0') ? 0 : value;
}

// Base names come from the manifest: a name that would leave the backup folder is refused.
bool IsPlainBaseName(const std::string& name) {
    return IsSafeRelativePath(name) && name.find('/') == std::string::npos;
}

struct TOldEntry {
    std::string Domain;
    std::int64_t Length = 0;
};

TOldEntry ReadProperties(pugi::xml_node properties) {
    TOldEntry entry;
    bool domain = false;
    bool length = false;
    ScanDictPairs(properties, [&](pugi::xml_node key, pugi::xml_node value) {
        const std::string keyText = NodeText(key);
        if (SameTextAscii(keyText, "Domain")) {
            entry.Domain = NodeText(value);
            domain = true;
        } else if (SameTextAscii(keyText, "FileLength")) {
            entry.Length = IntegerOf(NodeText(value));
            length = true;
        }
        return !(domain && length);
    });
    return entry;
}

} // namespace

std::string ReadMdInfoPath(const std::string& folder, const std::string& baseName,
                           const std::string& workFile) {
    if (!IsPlainBaseName(baseName)) {
        return {};
    }
    const std::string xml = OpenPlistXml(folder + baseName + ".mdinfo", "Metadata", workFile);
    TPlistDocument doc;
    if (xml.empty() || !doc.Load(xml)) {
        return {};
    }
    return NodeText(FindDictValue(doc.TopDict(), "Path", false));
}

int ReadOldManifest(const std::string& folder, const std::string& workFile, TFileTable& files) {
    const std::string xml = OpenPlistXml(FindNameNoCase(folder, "manifest.plist"), "data", workFile);
    TPlistDocument doc;
    if (xml.empty() || !doc.Load(xml)) {
        return 0;
    }
    const pugi::xml_node fileDict = FindDictValue(doc.TopDict(), "Files", false);
    int count = 0;
    // The document stays in memory, so the working file is free for each .mdinfo conversion.
    ScanDictPairs(fileDict, [&](pugi::xml_node nameNode, pugi::xml_node properties) {
        const std::string baseName = NodeText(nameNode);
        const std::string path = ReadMdInfoPath(folder, baseName, workFile);
        if (path.empty()) {
            return true;
        }
        const TOldEntry entry = ReadProperties(properties);
        std::string key = TableKeyOf(entry.Domain, path);
        TBackupFile file{
            baseName + ".mddata", entry.Length, IsAppDomain(entry.Domain), {}, entry.Domain, 0, 0, {}};
        if (const TBackupFile* old = files.Find(key)) {
            if (LastWriteTimeOf(folder + old->FileName) < LastWriteTimeOf(folder + file.FileName)) {
                files.AddShadowed(old->FileName);
                files.Replace(key, std::move(file));
            } else {
                files.AddShadowed(file.FileName);
            }
            return true;
        }
        files.Add(std::move(key), std::move(file));
        ++count;
        return true;
    });
    return count;
}

} // namespace kestrow
