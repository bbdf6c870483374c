#include "readers/typedstream.h"

#include <cstdint>

#include "platform/utf8.h"

namespace kestrow {

namespace {

std::uint64_t LittleEndian(std::string_view bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes.size(); i > 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[i - 1]);
    }
    return value;
}

} // namespace

std::string AttributedBodyText(std::string_view blob) {
    std::size_t at = std::string_view::npos;
    for (const std::string_view name : {std::string_view("NSString"), std::string_view("NSMutableString")}) {
        const std::size_t found = blob.find(name);
        if (found != std::string_view::npos && (at == std::string_view::npos || found < at)) {
            at = found + name.size();
        }
    }
    if (at == std::string_view::npos) {
        return {};
    }
    const std::size_t plus = blob.find('+', at);
    if (plus == std::string_view::npos || plus + 1 >= blob.size()) {
        return {};
    }
    std::size_t start = plus + 2;
    std::uint64_t length = static_cast<unsigned char>(blob[plus + 1]);
    if (length == 0x81 || length == 0x82) {
        const std::size_t bytes = length == 0x81 ? 2 : 4;
        if (blob.size() - start < bytes) {
            return {};
        }
        length = LittleEndian(blob.substr(start, bytes));
        start += bytes;
    } else if (length > 0x81) {
        return {};
    }
    if (length > blob.size() - start) {
        return {};
    }
    return WithoutObjectReplacement(blob.substr(start, static_cast<std::size_t>(length)));
}

} // namespace kestrow
