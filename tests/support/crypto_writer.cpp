#include "support/crypto_writer.h"

#include <memory>
#include <stdexcept>

#include <openssl/evp.h>

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
