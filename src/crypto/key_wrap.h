#pragma once

#include <memory>

#include "platform/bytes.h"

namespace kestrow {

// RFC 3394 unwrap with one key-encryption key, its AES-256 key schedule made once: a manifest
// unwraps every protected file's key with one of a few class keys.
class TAesKeyUnwrapper {
public:
    TAesKeyUnwrapper();
    TAesKeyUnwrapper(TAesKeyUnwrapper&&) noexcept;
    TAesKeyUnwrapper& operator=(TAesKeyUnwrapper&&) noexcept;
    ~TAesKeyUnwrapper();

    bool SetKek(const TBytes& kek); // false unless the key is 32 bytes
    bool Unwrap(const TBytes& wrapped, TBytes& unwrapped) const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

// RFC 3394 unwrap with a 256-bit key-encryption key and the default initial value. Fails unless
// the key is 32 bytes and the wrapped input is at least 16 bytes and a multiple of 8; the integrity
// check is the only way a wrong password or class key shows.
bool AesUnwrapKey(const TBytes& kek, const TBytes& wrapped, TBytes& unwrapped);

// X25519 (RFC 7748) of a 32-byte scalar and a 32-byte u-coordinate.
bool X25519(const TBytes& privateKey, const TBytes& publicKey, TBytes& shared);

// Curve25519 unwrapping for one class key pair, the private key object made once (making it computes
// its public key, as costly as the exchange itself).
class TCurve25519Unwrapper {
public:
    TCurve25519Unwrapper();
    TCurve25519Unwrapper(TCurve25519Unwrapper&&) noexcept;
    TCurve25519Unwrapper& operator=(TCurve25519Unwrapper&&) noexcept;
    ~TCurve25519Unwrapper();

    bool SetKeys(const TBytes& classPrivateKey, const TBytes& classPublicKey); // false unless 32-byte private
    bool Unwrap(const TBytes& wrapped, TBytes& fileKey) const;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

// File key wrapped for a Curve25519 class: 32-byte ephemeral public key, then the AES-wrapped key.
// The key-encryption key is SHA-256(00000001 || shared secret || ephemeral key || class public key).
bool UnwrapCurve25519FileKey(const TBytes& classPrivateKey, const TBytes& classPublicKey,
                             const TBytes& wrapped, TBytes& fileKey);

} // namespace kestrow
