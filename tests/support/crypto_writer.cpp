#include "support/crypto_writer.h"

#include <memory>
#include <stdexcept>

#include <openssl/evp.h>
#include <openssl/sha.h>

namespace kestrow::test {

namespace {

struct TCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

std::string Encrypt(const EVP_CIPHER* cipher, const TBytes& key, const std::string& plain, bool padding,
                    bool wrap) {
    std::unique_ptr<EVP_CIPHER_CTX, TCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (wrap) {
        EVP_CIPHER_CTX_set_flags(ctx.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    }
    static const std::uint8_t kZeroIv[16] = {};
    if (EVP_EncryptInit_ex(ctx.get(), cipher, nullptr, key.data(), wrap ? nullptr : kZeroIv) != 1) {
        throw std::runtime_error("cipher init");
    }
    EVP_CIPHER_CTX_set_padding(ctx.get(), padding ? 1 : 0);
    std::string out(plain.size() + 32, '\0');
    int n1 = 0;
    int n2 = 0;
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_EncryptUpdate(ctx.get(), o, &n1, reinterpret_cast<const unsigned char*>(plain.data()),
                          static_cast<int>(plain.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), o + n1, &n2) != 1) {
        throw std::runtime_error("cipher update");
    }
    out.resize(static_cast<std::size_t>(n1 + n2));
    return out;
}

} // namespace

TBytes AesWrapKey(const TBytes& kek, const TBytes& key) {
    return BytesOf(Encrypt(EVP_aes_256_wrap(), kek, StringOf(key), false, true));
}

std::string AesCbcEncryptPkcs7(const TBytes& key, const std::string& plain) {
    return Encrypt(EVP_aes_256_cbc(), key, plain, true, false);
}

std::string AesCbcEncryptRaw(const TBytes& key, const std::string& blocks) {
    return Encrypt(EVP_aes_256_cbc(), key, blocks, false, false);
}

TBytes X25519PublicOf(const TBytes& privateKey) {
    EVP_PKEY* key =
        EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey.data(), privateKey.size());
    TBytes pub(32);
    std::size_t length = pub.size();
    EVP_PKEY_get_raw_public_key(key, pub.data(), &length);
    EVP_PKEY_free(key);
    return pub;
}

TBytes OpenSslPbkdf2(const std::string& password, const TBytes& salt, int iterations, bool sha256) {
    TBytes key(32);
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, sha256 ? EVP_sha256() : EVP_sha1(),
                          static_cast<int>(key.size()), key.data()) != 1) {
        throw std::runtime_error("PBKDF2");
    }
    return key;
}

TBytes OpenSslSha256(const std::string& data) {
    TBytes digest(SHA256_DIGEST_LENGTH);
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest.data());
    return digest;
}

std::string OpenSslSha1(const std::string& data) {
    std::string digest(SHA_DIGEST_LENGTH, '\0');
    SHA1(reinterpret_cast<const unsigned char*>(data.data()), data.size(),
         reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

std::string OpenSslSha1Hex(const std::string& data) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : OpenSslSha1(data)) {
        hex += kHex[c >> 4];
        hex += kHex[c & 15];
    }
    return hex;
}

TBytes OpenSslX25519(const TBytes& privateKey, const TBytes& publicKey) {
    EVP_PKEY* own =
        EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey.data(), privateKey.size());
    EVP_PKEY* peer =
        EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, publicKey.data(), publicKey.size());
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(own, nullptr);
    TBytes shared(32);
    std::size_t length = shared.size();
    const bool ok = ctx != nullptr && EVP_PKEY_derive_init(ctx) == 1 &&
                    EVP_PKEY_derive_set_peer(ctx, peer) == 1 &&
                    EVP_PKEY_derive(ctx, shared.data(), &length) == 1;
    EVP_PKEY_CTX_free(ctx);
    EVP_PKEY_free(peer);
    EVP_PKEY_free(own);
    if (!ok) {
        throw std::runtime_error("X25519");
    }
    return shared;
}

std::string OpenSslBase64(const std::string& data) {
    std::string out(4 * ((data.size() + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

TBytes TTestRandom::Bytes(std::size_t n) {
    TBytes out(n);
    for (auto& b : out) {
        b = static_cast<std::uint8_t>(FEngine() & 0xFF);
    }
    return out;
}

std::string TTestRandom::Text(std::size_t n) {
    static constexpr char kWords[] = "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod ";
    std::string out;
    out.reserve(n);
    while (out.size() < n) {
        out.push_back(kWords[FEngine() % (sizeof kWords - 1)]);
    }
    return out;
}

} // namespace kestrow::test
