#include "support/plist_writer.h"

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

} // namespace kestrow::test
