#include "export/html_text.h"

#include <fmt/format.h>

#include "crypto/base64.h"

namespace kestrow {

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

} // namespace

std::string InlinePictureBase64(std::string_view bytes) {
    return Base64Encode(bytes, 76);
}

std::string FileLink(std::string_view relativePath) {
    std::string out;
    out.reserve(relativePath.size());
    for (const char c : relativePath) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte) || c == '/') {
            out += c;
        } else {
            out += fmt::format("%{:02X}", byte);
        }
    }
    return out;
}

std::vector<std::string> SplitCommaText(std::string_view text) {
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    std::size_t at = 0;
    while (at <= text.size()) {
        while (at < text.size() && text[at] == ' ') {
            ++at;
        }
        std::string item;
        bool quoted = false;
        for (; at < text.size() && (quoted || text[at] != ','); ++at) {
            if (text[at] != '"') {
                item += text[at];
            } else if (quoted && at + 1 < text.size() && text[at + 1] == '"') {
                item += '"';
                ++at;
            } else {
                quoted = !quoted;
            }
        }
        items.push_back(std::move(item));
        ++at; // past the comma (or the end)
    }
    return items;
}

} // namespace kestrow
