#include "archive/plist.h"

#include <cstdlib>
#include <memory>

#include <plist/plist.h>

#include "archive/plist_xml.h"
#include "crypto/base64.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace kestrow {

namespace {

constexpr std::size_t kMaxPlistBytes = std::size_t{1} << 30; // libplist takes a 32-bit length

struct TPlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};

bool HasBinaryHeader(const std::string& file) {
    TFileHandle handle = TFileHandle::OpenRead(file);
    char header[6] = {};
    return handle.IsOpen() && handle.ReadFull(header, sizeof header) == 6 &&
           std::string_view(header, 6) == "bplist";
}

std::string ToXml(const std::string& contents) {
    if (contents.size() > kMaxPlistBytes) {
        return {};
    }
    plist_t root = nullptr;
    plist_from_memory(contents.data(), static_cast<std::uint32_t>(contents.size()), &root);
    std::unique_ptr<void, TPlistFree> owner(root);
    if (root == nullptr) {
        return {};
    }
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    if (xml == nullptr) {
        return {};
    }
    std::string result(xml, length);
    plist_to_xml_free(xml);
    return result;
}

} // namespace

bool ConvertBinaryPlist(const std::string& srcFile, const std::string& dstFile, bool overwrite) {
    if (!overwrite && PathExists(dstFile)) {
        return false;
    }
    std::string contents;
    if (!ReadWholeFile(srcFile, contents)) {
        return false;
    }
    const std::string xml = ToXml(contents);
    return !xml.empty() && WriteWholeFile(dstFile, xml);
}

std::string PlistToXml(const std::string& srcFile, const std::string& dstFile, bool checkHeader) {
    if (!FileExists(srcFile)) {
        return {};
    }
    if (checkHeader && !HasBinaryHeader(srcFile)) {
        return srcFile;
    }
    return ConvertBinaryPlist(srcFile, dstFile, true) ? dstFile : std::string();
}

std::string OpenPlistXml(const std::string& plistFile, const std::string& key, const std::string& workFile) {
    std::string xml = PlistToXml(plistFile, workFile, true);
    if (xml.empty() || key.empty()) {
        return xml;
    }
    std::string embedded;
    {
        TPlistDocument doc;
        if (!doc.Load(xml)) {
            return {};
        }
        embedded = Base64DecodeToString(NodeText(FindDictValue(doc.TopDict(), key, true)));
    }
    if (embedded.empty() || !WriteWholeFile(workFile, embedded)) {
        return {};
    }
    return PlistToXml(workFile, workFile, true);
}

} // namespace kestrow
