#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "platform/bytes.h"

namespace kestrow::test {

// The encrypting side of the backup cryptography, for building test data with OpenSSL.
TBytes AesWrapKey(const TBytes& kek, const TBytes& key);
std::string AesCbcEncryptPkcs7(const TBytes& key, const std::string& plain);
std::string AesCbcEncryptRaw(const TBytes& key, const std::string& blocks); // no padding added
TBytes X25519PublicOf(const TBytes& privateKey);

// The primitives the writers need, straight from OpenSSL: never the code under test, so a fault
// there cannot hide behind data built with it.
TBytes OpenSslPbkdf2(const std::string& password, const TBytes& salt, int iterations, bool sha256);
TBytes OpenSslSha256(const std::string& data);
std::string OpenSslSha1(const std::string& data);    // raw 20 bytes
std::string OpenSslSha1Hex(const std::string& data); // 40 lower-case hex digits
TBytes OpenSslX25519(const TBytes& privateKey, const TBytes& publicKey);
std::string OpenSslBase64(const std::string& data); // one line

// Deterministic bytes so that every run builds the same data.
class TTestRandom {
public:
    explicit TTestRandom(std::uint32_t seed = 1) : FEngine(seed) {}
    TBytes Bytes(std::size_t n);
    std::string Text(std::size_t n);

private:
    std::mt19937 FEngine;
};

} // namespace kestrow::test
