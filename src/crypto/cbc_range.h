#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/bytes.h"

namespace kestrow {

constexpr std::size_t kAesBlock = 16;

// Random access into a protected content file (AES-256-CBC under the file's key, zero IV): in CBC
// every plain block is the decryption of its ciphertext block xor the ciphertext block before it,
// so any run of blocks decrypts on its own with that previous block as its IV. Nothing but the
// blocks asked for is read. One decryptor per thread.
class TCbcRangeDecryptor {
public:
    TCbcRangeDecryptor();
    TCbcRangeDecryptor(const TCbcRangeDecryptor&) = delete;
    TCbcRangeDecryptor& operator=(const TCbcRangeDecryptor&) = delete;
    ~TCbcRangeDecryptor();

    // False for a key shorter than 32 bytes (or when the cipher cannot be set up).
    bool Init(const TBytes& key);
    // Decrypts `count` blocks from block `first` of an open file into `out` (count * 16 bytes).
    // Returns 0, errno, or EBADMSG when the file ends before the last block asked for.
    int Decrypt(int fd, std::int64_t first, std::size_t count, std::uint8_t* out);

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

// The PKCS#7 padding length of a decrypted last block (1..16), or 0 when the padding is not valid.
std::size_t PaddingLength(const std::uint8_t* lastBlock);

// The plain length of a protected content file of `sourceSize` bytes, found by decrypting its last
// block only: from the padding when it is valid, else from the recorded size as the whole-file
// decryption takes it. Returns 0 or an error (EBADMSG for a length that is not whole blocks);
// `paddingValid` (when given) tells which it was.
int PlainSizeOf(TCbcRangeDecryptor& cipher, int fd, std::int64_t sourceSize, std::int64_t recordedSize,
                std::int64_t& plainSize, bool* paddingValid = nullptr);

} // namespace kestrow
