#include "crypto/kdf.h"

#include <openssl/evp.h>

namespace kestrow {

namespace {

constexpr std::size_t kMaxPasswordBytes = 255;

bool Pbkdf2(const EVP_MD* md, std::string_view password, const TBytes& salt, int iterations,
            std::size_t length, TBytes& out) {
    out.clear();
    if (iterations < 1 || length == 0) {
        return false;
    }
    TBytes derived(length);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, md, static_cast<int>(length),
                          derived.data()) != 1) {
        return false;
    }
    out = std::move(derived);
    return true;
}

} // namespace

bool Pbkdf2HmacSha1(std::string_view password, const TBytes& salt, int iterations, std::size_t length,
                    TBytes& out) {
    return Pbkdf2(EVP_sha1(), password, salt, iterations, length, out);
}

bool Pbkdf2HmacSha256(std::string_view password, const TBytes& salt, int iterations, std::size_t length,
                      TBytes& out) {
    return Pbkdf2(EVP_sha256(), password, salt, iterations, length, out);
}

bool DeriveBackupPasswordKey(std::string_view password, const TBytes& salt, int iterations, TBytes& key) {
    return Pbkdf2HmacSha1(password.substr(0, kMaxPasswordBytes), salt, iterations, 32, key);
}

} // namespace kestrow
