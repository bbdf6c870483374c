#include "crypto/file_decrypt.h"

#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <vector>

#include <openssl/evp.h>

#include "platform/file_io.h"

namespace kestrow {

namespace {

constexpr std::size_t kBlock = 16;
constexpr std::size_t kChunk = std::size_t{1} << 20; // a multiple of the block size

struct TCipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// AES-256-CBC decryption with a zero IV and no padding removal: the caller judges the padding.
class TCbcDecryptor {
public:
    bool Init(const TBytes& key) {
        if (key.size() < 32 || !FCtx) {
            return false;
        }
        static constexpr std::uint8_t kZeroIv[kBlock] = {};
        return EVP_DecryptInit_ex(FCtx.get(), EVP_aes_256_cbc(), nullptr, key.data(), kZeroIv) == 1 &&
               EVP_CIPHER_CTX_set_padding(FCtx.get(), 0) == 1;
    }
    // Decrypts whole blocks in place.
    bool Update(std::uint8_t* data, std::size_t size) {
        int outLength = 0;
        return EVP_DecryptUpdate(FCtx.get(), data, &outLength, data, static_cast<int>(size)) == 1 &&
               outLength == static_cast<int>(size);
    }

private:
    std::unique_ptr<EVP_CIPHER_CTX, TCipherCtxFree> FCtx{EVP_CIPHER_CTX_new()};
};

// Opens the source and checks that it holds whole blocks only.
bool OpenCipherText(const std::string& source, TFileHandle& file, std::int64_t& size) {
    file = TFileHandle::OpenRead(source);
    struct stat info {};
    if (!file.IsOpen() || ::fstat(file.Fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    size = info.st_size;
    ::posix_fadvise(file.Fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return size % static_cast<std::int64_t>(kBlock) == 0;
}

} // namespace

std::size_t PlainBytesOfLastBlock(const std::uint8_t* lastBlock, std::int64_t decryptedLength,
                                  std::int64_t recordedSize) {
    const std::uint8_t pad = lastBlock[kBlock - 1];
    bool validPadding = pad >= 1 && pad <= kBlock;
    for (std::size_t i = kBlock - pad; validPadding && i < kBlock; ++i) {
        validPadding = lastBlock[i] == pad;
    }
    if (validPadding) {
        return kBlock - pad;
    }
    const std::int64_t excess = decryptedLength - recordedSize;
    if (recordedSize > 0 && excess > 0 && excess <= static_cast<std::int64_t>(kBlock)) {
        return kBlock - static_cast<std::size_t>(excess);
    }
    return kBlock;
}

bool DecryptBackupFileToStream(const std::string& source, const TBytes& fileKey, std::string& dest,
                               std::int64_t recordedSize) {
    dest.clear();
    TFileHandle file;
    std::int64_t size = 0;
    TCbcDecryptor cipher;
    if (!OpenCipherText(source, file, size) || !cipher.Init(fileKey)) {
        return false;
    }
    dest.resize(static_cast<std::size_t>(size));
    auto* data = reinterpret_cast<std::uint8_t*>(dest.data());
    if (file.ReadFull(data, dest.size()) != size) {
        dest.clear();
        return false;
    }
    for (std::size_t pos = 0; pos < dest.size(); pos += kChunk) {
        if (!cipher.Update(data + pos, std::min(kChunk, dest.size() - pos))) {
            dest.clear();
            return false;
        }
    }
    if (size > 0) {
        const std::size_t keep = PlainBytesOfLastBlock(data + size - kBlock, size, recordedSize);
        dest.resize(static_cast<std::size_t>(size) - kBlock + keep);
    }
    return true;
}

bool DecryptBackupFileToFile(const std::string& source, const TBytes& fileKey, const std::string& dest,
                             std::int64_t recordedSize) {
    TFileHandle file;
    std::int64_t size = 0;
    TCbcDecryptor cipher;
    if (!OpenCipherText(source, file, size) || !cipher.Init(fileKey)) {
        return false;
    }
    TAtomicFileWriter writer(dest);
    if (!writer.IsOpen()) {
        return false;
    }
    std::vector<std::uint8_t> buffer(kChunk);
    std::int64_t remaining = size;
    while (remaining > 0) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(remaining, kChunk));
        if (file.ReadFull(buffer.data(), want) != static_cast<std::int64_t>(want) ||
            !cipher.Update(buffer.data(), want)) {
            return false;
        }
        remaining -= static_cast<std::int64_t>(want);
        // The last block is judged for padding before it is written.
        std::size_t out = want;
        if (remaining == 0) {
            out = want - kBlock + PlainBytesOfLastBlock(buffer.data() + want - kBlock, size, recordedSize);
        }
        if (!writer.Write(buffer.data(), out)) {
            return false;
        }
    }
    return writer.Commit();
}

} // namespace kestrow
