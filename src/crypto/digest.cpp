#include "crypto/digest.h"

#include <openssl/evp.h>

namespace kestrow {

namespace {

TBytes Digest(const EVP_MD* md, std::string_view data) {
    TBytes out(static_cast<std::size_t>(EVP_MD_get_size(md)));
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), out.data(), &length, md, nullptr) != 1) {
        return {};
    }
    out.resize(length);
    return out;
}

} // namespace

TBytes Sha1(std::string_view data) {
    return Digest(EVP_sha1(), data);
}

TBytes Sha256(std::string_view data) {
    return Digest(EVP_sha256(), data);
}

std::string HexOf(const TBytes& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0x0F]);
    }
    return hex;
}

std::string Sha1HexOf(std::string_view data) {
    return HexOf(Sha1(data));
}

} // namespace kestrow
