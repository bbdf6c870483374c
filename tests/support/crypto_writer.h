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
