#pragma once

#include <cstdint>
#include <memory>

namespace kestrow {

// AES-256 decryption of single 16-byte blocks under one key, the key schedule made once. Key
// unwrapping decrypts 24 single blocks per file key; the processor's AES instructions do that an
// order of magnitude faster than a call through OpenSSL's provider layer per block, which serves
// where the instructions are missing.
class TAes256BlockDecryptor {
public:
    TAes256BlockDecryptor();
    TAes256BlockDecryptor(TAes256BlockDecryptor&&) noexcept;
    TAes256BlockDecryptor& operator=(TAes256BlockDecryptor&&) noexcept;
    ~TAes256BlockDecryptor();

    bool SetKey(const std::uint8_t* key);    // 32 bytes
    bool Decrypt(std::uint8_t* block) const; // in place

    // Whether this processor's AES instructions are used (tests cover both paths).
    static bool HardwareAvailable();
    // Forces the OpenSSL path for the decryptors made afterwards (tests).
    static void ForceSoftware(bool force);

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

} // namespace kestrow
