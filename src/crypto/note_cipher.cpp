#include "crypto/note_cipher.h"

#include <memory>

#include <openssl/evp.h>

#include "crypto/kdf.h"

namespace kestrow {

namespace {

struct TCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using TCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, TCipherCtxFree>;

constexpr std::size_t kNoteKeySize = 16;
constexpr std::size_t kTagSize = 16;

} // namespace

bool DeriveNoteKek(std::string_view password, const TBytes& salt, int iterations, TBytes& kek) {
    return Pbkdf2HmacSha256(password, salt, iterations, kNoteKeySize, kek);
}

bool UnwrapNoteKey(const TBytes& kek, const TBytes& wrapped, TBytes& key) {
    key.clear();
    if (kek.size() != kNoteKeySize || wrapped.size() != kNoteKeySize + 8) {
        return false;
    }
    TCipherCtx ctx(EVP_CIPHER_CTX_new());
    TBytes out(wrapped.size());
    int length = 0;
    int last = 0;
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_wrap(), nullptr, kek.data(), nullptr) != 1 ||
        EVP_DecryptUpdate(ctx.get(), out.data(), &length, wrapped.data(), static_cast<int>(wrapped.size())) !=
            1 ||
        EVP_DecryptFinal_ex(ctx.get(), out.data() + length, &last) != 1 ||
        static_cast<std::size_t>(length + last) != kNoteKeySize) {
        return false;
    }
    out.resize(kNoteKeySize);
    key = std::move(out);
    return true;
}

bool AesGcmDecrypt(const TBytes& key, const TBytes& iv, const TBytes& tag, std::string_view data,
                   std::string& plain) {
    plain.clear();
    if (key.size() != kNoteKeySize || tag.size() != kTagSize || iv.empty() || iv.size() > 64 ||
        data.size() > 0x7FFFFFF0u) {
        return false;
    }
    TCipherCtx ctx(EVP_CIPHER_CTX_new());
    std::string out(data.size() + 16, '\0');
    int length = 0;
    int last = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    if (!ctx || EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_gcm(), nullptr, nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(iv.size()), nullptr) != 1 ||
        EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, key.data(), iv.data()) != 1 ||
        EVP_DecryptUpdate(ctx.get(), bytes, &length, reinterpret_cast<const unsigned char*>(data.data()),
                          static_cast<int>(data.size())) != 1 ||
        EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(tag.size()),
                            const_cast<std::uint8_t*>(tag.data())) != 1 ||
        EVP_DecryptFinal_ex(ctx.get(), bytes + length, &last) != 1) {
        return false;
    }
    out.resize(static_cast<std::size_t>(length + last));
    plain = std::move(out);
    return true;
}

} // namespace kestrow
