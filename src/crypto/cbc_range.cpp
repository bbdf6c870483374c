#include "crypto/cbc_range.h"

#include <cerrno>
#include <unistd.h>

#include <openssl/evp.h>

#include "crypto/file_decrypt.h"

namespace kestrow {

struct TCbcRangeDecryptor::TState {
    EVP_CIPHER_CTX* Ctx = EVP_CIPHER_CTX_new();
    ~TState() { EVP_CIPHER_CTX_free(Ctx); }
};

TCbcRangeDecryptor::TCbcRangeDecryptor() : FState(std::make_unique<TState>()) {}

TCbcRangeDecryptor::~TCbcRangeDecryptor() = default;

bool TCbcRangeDecryptor::Init(const TBytes& key) {
    static constexpr std::uint8_t kZeroIv[kAesBlock] = {};
    return key.size() >= 32 && FState->Ctx != nullptr &&
           EVP_DecryptInit_ex(FState->Ctx, EVP_aes_256_cbc(), nullptr, key.data(), kZeroIv) == 1 &&
           EVP_CIPHER_CTX_set_padding(FState->Ctx, 0) == 1;
}

namespace {

// Reads exactly `size` bytes at `offset`; EBADMSG when the file ends first.
int ReadAt(int fd, std::uint8_t* out, std::size_t size, std::int64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, out + done, size - done, offset + static_cast<std::int64_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got < 0 ? errno : EBADMSG;
        }
        done += static_cast<std::size_t>(got);
    }
    return 0;
}

} // namespace

int TCbcRangeDecryptor::Decrypt(int fd, std::int64_t first, std::size_t count, std::uint8_t* out) {
    std::uint8_t iv[kAesBlock] = {};
    const auto block = static_cast<std::int64_t>(kAesBlock);
    if (first < 0) {
        return EINVAL;
    }
    if (first > 0) {
        if (const int err = ReadAt(fd, iv, kAesBlock, (first - 1) * block); err != 0) {
            return err;
        }
    }
    if (const int err = ReadAt(fd, out, count * kAesBlock, first * block); err != 0) {
        return err;
    }
    // A new IV with the key schedule kept.
    int outLength = 0;
    const int size = static_cast<int>(count * kAesBlock);
    if (EVP_DecryptInit_ex(FState->Ctx, nullptr, nullptr, nullptr, iv) != 1 ||
        EVP_DecryptUpdate(FState->Ctx, out, &outLength, out, size) != 1 || outLength != size) {
        return EBADMSG;
    }
    return 0;
}

std::size_t PaddingLength(const std::uint8_t* lastBlock) {
    const std::uint8_t pad = lastBlock[kAesBlock - 1];
    if (pad < 1 || pad > kAesBlock) {
        return 0;
    }
    for (std::size_t i = kAesBlock - pad; i < kAesBlock; ++i) {
        if (lastBlock[i] != pad) {
            return 0;
        }
    }
    return pad;
}

int PlainSizeOf(TCbcRangeDecryptor& cipher, int fd, std::int64_t sourceSize, std::int64_t recordedSize,
                std::int64_t& plainSize, bool* paddingValid) {
    const auto block = static_cast<std::int64_t>(kAesBlock);
    if (sourceSize <= 0 || sourceSize % block != 0) {
        return EBADMSG;
    }
    std::uint8_t last[kAesBlock];
    if (const int err = cipher.Decrypt(fd, sourceSize / block - 1, 1, last); err != 0) {
        return err;
    }
    if (paddingValid != nullptr) {
        *paddingValid = PaddingLength(last) != 0;
    }
    plainSize =
        sourceSize - block + static_cast<std::int64_t>(PlainBytesOfLastBlock(last, sourceSize, recordedSize));
    return 0;
}

} // namespace kestrow
