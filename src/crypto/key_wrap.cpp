#include "crypto/key_wrap.h"

#include <cstring>
#include <memory>

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include "crypto/aes_block.h"
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

// The X25519 shared secret of a private key object and a 32-byte peer public key.
bool DeriveShared(EVP_PKEY* own, const std::uint8_t* peerKey, TBytes& shared) {
    TPkey peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerKey, kKeySize));
    TPkeyCtx ctx(peer ? EVP_PKEY_CTX_new(own, nullptr) : nullptr);
    TBytes out(kKeySize);
    std::size_t length = kKeySize;
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) != 1 ||
        EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) != 1 ||
        EVP_PKEY_derive(ctx.get(), out.data(), &length) != 1 || length != kKeySize) {
        return false;
    }
    shared = std::move(out);
    return true;
}

} // namespace

struct TAesKeyUnwrapper::TState {
    TAes256BlockDecryptor Aes;
    bool Ready = false;
};

TAesKeyUnwrapper::TAesKeyUnwrapper() : FState(std::make_unique<TState>()) {}
TAesKeyUnwrapper::TAesKeyUnwrapper(TAesKeyUnwrapper&&) noexcept = default;
TAesKeyUnwrapper& TAesKeyUnwrapper::operator=(TAesKeyUnwrapper&&) noexcept = default;
TAesKeyUnwrapper::~TAesKeyUnwrapper() = default;

bool TAesKeyUnwrapper::SetKek(const TBytes& kek) {
    FState->Ready = kek.size() == kKeySize && FState->Aes.SetKey(kek.data());
    return FState->Ready;
}

bool TAesKeyUnwrapper::Unwrap(const TBytes& wrapped, TBytes& unwrapped) const {
    unwrapped.clear();
    if (!FState->Ready || wrapped.size() < 16 || wrapped.size() % 8 != 0) {
        return false;
    }
    const std::size_t n = wrapped.size() / 8 - 1;
    std::uint8_t a[8];
    std::memcpy(a, wrapped.data(), 8);
    TBytes r(wrapped.begin() + 8, wrapped.end());
    std::uint8_t block[16];
    for (int j = 5; j >= 0; --j) {
        for (std::size_t i = n; i >= 1; --i) {
            // B = AES-1((A ^ t) | R[i]) with t = n*j + i, big-endian.
            std::uint64_t t = n * static_cast<std::uint64_t>(j) + i;
            std::memcpy(block, a, 8);
            for (int k = 7; k >= 0; --k, t >>= 8) {
                block[k] ^= static_cast<std::uint8_t>(t & 0xFF);
            }
            std::memcpy(block + 8, &r[(i - 1) * 8], 8);
            if (!FState->Aes.Decrypt(block)) {
                return false;
            }
            std::memcpy(a, block, 8);
            std::memcpy(&r[(i - 1) * 8], block + 8, 8);
        }
    }
    static constexpr std::uint8_t kIntegrity[8] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6};
    if (CRYPTO_memcmp(a, kIntegrity, 8) != 0) {
        return false;
    }
    unwrapped = std::move(r);
    return true;
}

bool AesUnwrapKey(const TBytes& kek, const TBytes& wrapped, TBytes& unwrapped) {
    TAesKeyUnwrapper unwrapper;
    if (!unwrapper.SetKek(kek)) {
        unwrapped.clear();
        return false;
    }
    return unwrapper.Unwrap(wrapped, unwrapped);
}

bool X25519(const TBytes& privateKey, const TBytes& publicKey, TBytes& shared) {
    shared.clear();
    if (privateKey.size() != kKeySize || publicKey.size() != kKeySize) {
        return false;
    }
    TPkey own(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, privateKey.data(), privateKey.size()));
    return own && DeriveShared(own.get(), publicKey.data(), shared);
}

struct TCurve25519Unwrapper::TState {
    TPkey Own;
    TBytes PublicKey;
};

TCurve25519Unwrapper::TCurve25519Unwrapper() : FState(std::make_unique<TState>()) {}
TCurve25519Unwrapper::TCurve25519Unwrapper(TCurve25519Unwrapper&&) noexcept = default;
TCurve25519Unwrapper& TCurve25519Unwrapper::operator=(TCurve25519Unwrapper&&) noexcept = default;
TCurve25519Unwrapper::~TCurve25519Unwrapper() = default;

bool TCurve25519Unwrapper::SetKeys(const TBytes& classPrivateKey, const TBytes& classPublicKey) {
    FState->Own.reset();
    if (classPrivateKey.size() != kKeySize) {
        return false;
    }
    TBytes scalar = classPrivateKey;
    scalar[0] &= 0xF8;
    scalar[31] &= 0x7F;
    scalar[31] |= 0x40;
    FState->Own.reset(EVP_PKEY_new_raw_private_key(EVP_PKEY_X25519, nullptr, scalar.data(), scalar.size()));
    FState->PublicKey = classPublicKey;
    return FState->Own != nullptr;
}

bool TCurve25519Unwrapper::Unwrap(const TBytes& wrapped, TBytes& fileKey) const {
    fileKey.clear();
    if (!FState->Own || wrapped.size() < 64) {
        return false;
    }
    TBytes shared;
    if (!DeriveShared(FState->Own.get(), wrapped.data(), shared)) {
        return false;
    }
    // SHA-256 of 00000001 || shared secret || ephemeral public key || class public key.
    TBytes message = {0, 0, 0, 1};
    message.insert(message.end(), shared.begin(), shared.end());
    message.insert(message.end(), wrapped.begin(), wrapped.begin() + kKeySize);
    message.insert(message.end(), FState->PublicKey.begin(), FState->PublicKey.end());
    const TBytes kek =
        Sha256(std::string_view(reinterpret_cast<const char*>(message.data()), message.size()));
    return AesUnwrapKey(kek, TBytes(wrapped.begin() + kKeySize, wrapped.end()), fileKey);
}

bool UnwrapCurve25519FileKey(const TBytes& classPrivateKey, const TBytes& classPublicKey,
                             const TBytes& wrapped, TBytes& fileKey) {
    fileKey.clear();
    if (classPrivateKey.size() != kKeySize || wrapped.size() < 64) {
        return false;
    }
    TCurve25519Unwrapper unwrapper;
    return unwrapper.SetKeys(classPrivateKey, classPublicKey) && unwrapper.Unwrap(wrapped, fileKey);
}

} // namespace kestrow
