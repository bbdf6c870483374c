#include "crypto/key_wrap.h"

#include <memory>
#include <openssl/evp.h>

#include "crypto/digest.h"

namespace kestrow {

namespace {

struct TCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
struct TPkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct TPkeyCtxFree {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using TCipherCtx = std::unique_ptr<EVP_CIPHER_CTX, TCipherCtxFree>;
using TPkey = std::unique_ptr<EVP_PKEY, TPkeyFree>;
using TPkeyCtx = std::unique_ptr<EVP_PKEY_CTX, TPkeyCtxFree>;

constexpr std::size_t kKeySize = 32;

} // namespace

bool AesUnwrapKey(const TBytes& kek, const TBytes& wrapped, TBytes& unwrapped) {
    unwrapped.clear();
    if (kek.size() != kKeySize || wrapped.size() < 16 || wrapped.size() % 8 != 0) {
        return false;
    }
    TCipherCtx ctx(EVP_CIPHER_CTX_new());
    if (!ctx) {
        return false;
    }
    EVP_CIPHER_CTX_set_flags(ctx.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    if (EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_wrap(), nullptr, kek.data(), nullptr) != 1) {
        return false;
    }
    TBytes out(wrapped.size());
    int length = 0;
    if (EVP_DecryptUpdate(ctx.get(), out.data(), &length, wrapped.data(), static_cast<int>(wrapped.size())) != 1 ||
        length != static_cast<int>(wrapped.size() - 8)) {
        return false;
    }
    out.resize(static_cast<std::size_t>(length));
    unwrapped = std::move(out);
    return true;
}

bool X25519(const TBytes& privateKey, const TBytes& publicKey, TBytes& shared) {
    shared.clear();
    if (privateKey.size() != kKeySize || publicKey.size() != kKeySize) {
        return false;
    }
    TPkey own(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey.data(), privateKey.size()));
    TPkey peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, publicKey.data(), publicKey.size()));
    if (!own || !peer) {
        return false;
    }
    TPkeyCtx ctx(EVP_PKEY_CTX_new(own.get(), nullptr));
    std::size_t length = kKeySize;
    TBytes out(kKeySize);
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) != 1 || EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) != 1 ||
        EVP_PKEY_derive(ctx.get(), out.data(), &length) != 1 || length != kKeySize) {
        return false;
    }
    shared = std::move(out);
    return true;
}

bool UnwrapCurve25519FileKey(const TBytes& classPrivateKey, const TBytes& classPublicKey, const TBytes& wrapped,
                             TBytes& fileKey) {
    fileKey.clear();
    if (classPrivateKey.size() != kKeySize || wrapped.size() < 64) {
        return false;
    }
    TBytes scalar = classPrivateKey;
    scalar[0] &= 0xF8;
    scalar[31] &= 0x7F;
    scalar[31] |= 0x40;
    const TBytes ephemeral(wrapped.begin(), wrapped.begin() + kKeySize);
    TBytes shared;
    if (!X25519(scalar, ephemeral, shared)) {
        return false;
    }
    std::string message("\x00\x00\x00\x01", 4);
    message.append(shared.begin(), shared.end());
    message.append(ephemeral.begin(), ephemeral.end());
    message.append(classPublicKey.begin(), classPublicKey.end());
    const TBytes kek = Sha256(message);
    return AesUnwrapKey(kek, TBytes(wrapped.begin() + kKeySize, wrapped.end()), fileKey);
}

} // namespace kestrow
