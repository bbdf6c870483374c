#include "crypto/base64.h"

#include <openssl/evp.h>

namespace kestrow {

namespace {

bool InAlphabet(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

} // namespace

std::string Base64DecodeToString(std::string_view text) {
    std::string clean;
    clean.reserve(text.size());
    for (char c : text) {
        if (c == '=') {
            break;
        }
        if (InAlphabet(c)) {
            clean.push_back(c);
        }
    }
    // A single character left over carries fewer than 8 bits: it cannot form a byte.
    if (clean.size() % 4 == 1) {
        clean.pop_back();
    }
    const std::size_t padding = (4 - clean.size() % 4) % 4;
    clean.append(padding, '=');
    std::string out(clean.size() / 4 * 3, '\0');
    if (clean.empty()) {
        return out;
    }
    const int n =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(clean.data()), static_cast<int>(clean.size()));
    if (n < 0) {
        return {};
    }
    out.resize(static_cast<std::size_t>(n) - padding);
    return out;
}

TBytes Base64Decode(std::string_view text) {
    return BytesOf(Base64DecodeToString(text));
}

std::string Base64Encode(std::string_view data, std::size_t lineLength) {
    std::string encoded(4 * ((data.size() + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                        reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    encoded.resize(static_cast<std::size_t>(n));
    if (lineLength == 0 || encoded.size() <= lineLength) {
        return encoded;
    }
    std::string lines;
    for (std::size_t pos = 0; pos < encoded.size(); pos += lineLength) {
        if (pos > 0) {
            lines += "\r\n";
        }
        lines += encoded.substr(pos, lineLength);
    }
    return lines;
}

} // namespace kestrow
