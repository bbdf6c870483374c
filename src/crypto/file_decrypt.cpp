#include "crypto/file_decrypt.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <vector>

#include <openssl/evp.h>

#include "crypto/cbc_range.h"
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

bool IsWholeBlocks(std::int64_t size) {
    return size % static_cast<std::int64_t>(kBlock) == 0;
}

std::vector<std::uint8_t>& ThreadBuffer() {
    thread_local std::vector<std::uint8_t> buffer(kChunk);
    return buffer;
}

} // namespace

std::size_t PlainBytesOfLastBlock(const std::uint8_t* lastBlock, std::int64_t decryptedLength,
                                  std::int64_t recordedSize) {
    if (const std::size_t pad = PaddingLength(lastBlock); pad != 0) {
        return kBlock - pad;
    }
    const std::int64_t excess = decryptedLength - recordedSize;
    if (recordedSize > 0 && excess > 0 && excess <= static_cast<std::int64_t>(kBlock)) {
        return kBlock - static_cast<std::size_t>(excess);
    }
    return kBlock;
}

int DecryptFileContents(int sourceFd, std::int64_t sourceSize, const TBytes& fileKey,
                        std::int64_t recordedSize, int targetFd, const std::stop_token& stop,
                        std::uint64_t* written) {
    TCbcDecryptor cipher;
    if (!IsWholeBlocks(sourceSize) || !cipher.Init(fileKey)) {
        return EBADMSG;
    }
    if (sourceSize > static_cast<std::int64_t>(kChunk)) {
        ::posix_fadvise(sourceFd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    std::vector<std::uint8_t>& buffer = ThreadBuffer();
    std::int64_t remaining = sourceSize;
    while (remaining > 0) {
        if (stop.stop_requested()) {
            return ECANCELED;
        }
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(remaining, kChunk));
        const std::int64_t got = ReadFullFd(sourceFd, buffer.data(), want);
        if (got != static_cast<std::int64_t>(want)) {
            return got < 0 ? errno : EBADMSG; // the file shrank while it was read
        }
        if (!cipher.Update(buffer.data(), want)) {
            return EBADMSG;
        }
        remaining -= static_cast<std::int64_t>(want);
        // The last block is judged for padding before it is written.
        std::size_t out = want;
        if (remaining == 0) {
            out = want - kBlock +
                  PlainBytesOfLastBlock(buffer.data() + want - kBlock, sourceSize, recordedSize);
        }
        if (!WriteAllFd(targetFd, buffer.data(), out)) {
            return errno != 0 ? errno : EIO;
        }
        if (written != nullptr) {
            *written += out;
        }
    }
    return 0;
}

bool DecryptOpenFileToStream(int sourceFd, std::int64_t sourceSize, const TBytes& fileKey, std::string& dest,
                             std::int64_t recordedSize) {
    dest.clear();
    TCbcDecryptor cipher;
    if (!IsWholeBlocks(sourceSize) || !cipher.Init(fileKey)) {
        return false;
    }
    dest.resize(static_cast<std::size_t>(sourceSize));
    auto* data = reinterpret_cast<std::uint8_t*>(dest.data());
    if (ReadFullFd(sourceFd, data, dest.size()) != sourceSize) {
        dest.clear();
        return false;
    }
    for (std::size_t pos = 0; pos < dest.size(); pos += kChunk) {
        if (!cipher.Update(data + pos, std::min(kChunk, dest.size() - pos))) {
            dest.clear();
            return false;
        }
    }
    if (sourceSize > 0) {
        const std::size_t keep = PlainBytesOfLastBlock(data + sourceSize - kBlock, sourceSize, recordedSize);
        dest.resize(static_cast<std::size_t>(sourceSize) - kBlock + keep);
    }
    return true;
}

bool DecryptBackupFileToStream(const std::string& source, const TBytes& fileKey, std::string& dest,
                               std::int64_t recordedSize) {
    dest.clear();
    TFileHandle file;
    std::int64_t size = 0;
    return OpenRegularFileAt(AT_FDCWD, source, file, size) == 0 &&
           DecryptOpenFileToStream(file.Fd(), size, fileKey, dest, recordedSize);
}

bool DecryptBackupFileToFile(const std::string& source, const TBytes& fileKey, const std::string& dest,
                             std::int64_t recordedSize, TPublishMode mode) {
    TFileHandle file;
    std::int64_t size = 0;
    int err = OpenRegularFileAt(AT_FDCWD, source, file, size);
    if (err == 0) {
        TAtomicFileWriter writer(dest, mode);
        err = writer.Error();
        if (err == 0) {
            err = DecryptFileContents(file.Fd(), size, fileKey, recordedSize, writer.Fd(), {});
        }
        if (err == 0 && !writer.Commit()) {
            err = writer.Error();
        }
    }
    errno = err;
    return err == 0;
}

} // namespace kestrow
