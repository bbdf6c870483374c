#include "support/plist_writer.h"

#include <vector>

namespace kestrow::test {

std::string PlistXml(plist_t root) {
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    std::string result(xml, length);
    plist_to_xml_free(xml);
    return result;
}

std::string PlistBinary(plist_t root) {
    char* bin = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &bin, &length);
    std::string result(bin, length);
    plist_to_bin_free(bin);
    return result;
}

plist_t PlistDate(std::int64_t unixSeconds) {
    return plist_new_date(static_cast<std::int32_t>(unixSeconds - 978307200), 0);
}

std::string XmlPlistOfDictBody(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n<dict>\n" +
           body + "</dict>\n</plist>\n";
}

namespace {

void PutBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

// Objects 0..n-1 where object i < n-1 is an array of `width` references to object i+1 and the
// last object is `leaf`; object 0 is the root.
std::string ChainedArrays(std::size_t levels, int width, const std::string& leaf) {
    constexpr int kSize = 4; // offsets and references
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (std::size_t i = 0; i < levels; ++i) {
        offsets.push_back(out.size());
        out.push_back(static_cast<char>(0xA0 | width));
        for (int w = 0; w < width; ++w) {
            PutBigEndian(out, i + 1, kSize);
        }
    }
    offsets.push_back(out.size());
    out += leaf;
    const std::uint64_t table = out.size();
    for (std::uint64_t offset : offsets) {
        PutBigEndian(out, offset, kSize);
    }
    out.append(6, '\0');
    out.push_back(static_cast<char>(kSize));
    out.push_back(static_cast<char>(kSize));
    PutBigEndian(out, offsets.size(), 8);
    PutBigEndian(out, 0, 8);
    PutBigEndian(out, table, 8);
    return out;
}

} // namespace

std::string DeepBinaryPlist(std::size_t levels) {
    return ChainedArrays(levels, 1, std::string(1, static_cast<char>(0xA0)));
}

std::string SharedBinaryPlist(std::size_t levels) {
    return ChainedArrays(levels, 2, "\x51x");
}

} // namespace kestrow::test
