#include "archive/plist.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include <plist/plist.h>

#include "archive/plist_xml.h"
#include "crypto/base64.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "readers/binary_plist.h"

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

// A copy of the tree whose dictionaries list their keys sorted by the bytes of the key text (the
// code-point order of UTF-8), at every depth: the XML form devices' own conversion writes, which
// the dictionary scans rely on. Binary lists keep keys in the device's order.
plist_t SortedCopy(plist_t node) {
    const plist_type type = plist_get_node_type(node);
    if (type == PLIST_ARRAY) {
        plist_t copy = plist_new_array();
        const std::uint32_t count = plist_array_get_size(node);
        for (std::uint32_t i = 0; i < count; ++i) {
            plist_array_append_item(copy, SortedCopy(plist_array_get_item(node, i)));
        }
        return copy;
    }
    if (type != PLIST_DICT) {
        return plist_copy(node);
    }
    std::vector<std::pair<std::string, plist_t>> items;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (key == nullptr || value == nullptr) {
            std::free(key);
            break;
        }
        items.emplace_back(key, value);
        std::free(key);
    }
    std::free(iter);
    std::stable_sort(items.begin(), items.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    plist_t copy = plist_new_dict();
    for (const auto& [key, value] : items) {
        plist_dict_set_item(copy, key.c_str(), SortedCopy(value));
    }
    return copy;
}

std::string ToXml(const std::string& contents) {
    // Hostile nesting would overflow the stack of the recursive parser: checked first.
    if (contents.size() > kMaxPlistBytes || !IsSafeBinaryPlist(contents)) {
        return {};
    }
    plist_t parsed = nullptr;
    plist_from_bin(contents.data(), static_cast<std::uint32_t>(contents.size()), &parsed);
    const std::unique_ptr<void, TPlistFree> owner(parsed);
    if (parsed == nullptr) {
        return {};
    }
    const std::unique_ptr<void, TPlistFree> sorted(SortedCopy(parsed));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(static_cast<plist_t>(sorted.get()), &xml, &length);
    if (xml == nullptr) {
        return {};
    }
    std::string result(xml, length);
    plist_to_xml_free(xml);
    return result;
}

} // namespace

bool ConvertBinaryPlist(const std::string& srcFile, const std::string& dstFile, bool overwrite) {
    if (dstFile.empty() || (!overwrite && PathExists(dstFile))) {
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
    if (embedded.empty() || workFile.empty() || !WriteWholeFile(workFile, embedded)) {
        return {};
    }
    return PlistToXml(workFile, workFile, true);
}

} // namespace kestrow
