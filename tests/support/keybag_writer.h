#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/bytes.h"
#include "support/crypto_writer.h"

namespace kestrow::test {

// Raw tag-length-value items, for keybags of any shape (hostile ones included).
class TTlvWriter {
public:
    TTlvWriter& Tag(const std::string& tag, const TBytes& value);
    TTlvWriter& Int(const std::string& tag, std::int32_t value);
    TTlvWriter& Raw(const std::string& bytes);
    const std::string& Bytes() const { return FBytes; }
    std::string Base64() const;

private:
    std::string FBytes;
};

// A keybag whose class keys are wrapped with a password, as a device writes it. Class keys are
// random; a class of key type 1 in a version-3 keybag is a Curve25519 key pair.
class TTestKeyBag {
public:
    struct TClass {
        std::int32_t Wrap = 2;
        std::int32_t Ktyp = 0;
        TBytes Key;    // unwrapped class key (the private key for Curve25519)
        TBytes PubKey; // Curve25519 public key, else empty
    };

    TTestKeyBag(std::string password, std::int32_t iterations = 10, std::int32_t version = 3,
                std::int32_t type = 1, std::uint32_t seed = 7);
    // Keybags of 2016 and later: a second derivation with PBKDF2-HMAC-SHA-256 first.
    void SetDoubleDerivation(std::int32_t iterations);
    TTestKeyBag& AddClass(std::int32_t clas, std::int32_t wrap = 2, std::int32_t ktyp = 0);

    std::string Block() const;
    std::string Base64() const;
    // The wrapped key of a file in class `clas`, as a manifest records it (without the class prefix).
    TBytes WrapFileKey(std::int32_t clas, const TBytes& fileKey);
    TBytes PasswordKey() const;
    const std::map<std::int32_t, TClass>& Classes() const { return FClasses; }

private:
    std::string FPassword;
    std::int32_t FIterations;
    std::int32_t FVersion;
    std::int32_t FType;
    TBytes FSalt;
    TBytes FDoubleSalt;
    std::int32_t FDoubleIterations = 0;
    std::map<std::int32_t, TClass> FClasses;
    TTestRandom FRandom;
};

} // namespace kestrow::test
