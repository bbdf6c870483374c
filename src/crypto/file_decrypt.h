#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

#include "platform/bytes.h"
#include "platform/new_file.h"

namespace kestrow {

// Protected content files are AES-256-CBC with a zero IV under the file's own key. The length of
// the plain content is taken from the PKCS#7 padding when it is valid; only when it is not, the
// recorded size cuts the output (when the output is longer by at most 16 bytes). Recorded sizes
// are often wrong for databases that changed during the backup, so they never override valid
// padding. Files whose length is not a multiple of 16, and keys shorter than 32 bytes, are refused
// (EBADMSG). Only regular files are read (a link or a FIFO is refused: kNotRegularFileError).

// Decrypts an open content file of `sourceSize` bytes into an open output file in constant memory
// (one buffer per thread), checking `stop` between chunks. Returns 0, errno, EBADMSG, or ECANCELED
// when stopped; `written` (when given) receives the number of plain bytes written.
int DecryptFileContents(int sourceFd, std::int64_t sourceSize, const TBytes& fileKey,
                        std::int64_t recordedSize, int targetFd, const std::stop_token& stop,
                        std::uint64_t* written = nullptr);

// Decrypts a whole file into memory; `dest` is replaced (previews, small databases).
bool DecryptBackupFileToStream(const std::string& source, const TBytes& fileKey, std::string& dest,
                               std::int64_t recordedSize);
// The same from a file already open.
bool DecryptOpenFileToStream(int sourceFd, std::int64_t sourceSize, const TBytes& fileKey, std::string& dest,
                             std::int64_t recordedSize);

// Decrypts a file to another file. The output is written without a name (or under a short private
// one) and published only on success: a failure leaves no partial file. With NoReplace an existing
// target is never replaced. On failure errno holds the reason.
bool DecryptBackupFileToFile(const std::string& source, const TBytes& fileKey, const std::string& dest,
                             std::int64_t recordedSize, TPublishMode mode = TPublishMode::Replace);

// How many plain bytes a decrypted last block keeps (0..16), given the total decrypted length.
std::size_t PlainBytesOfLastBlock(const std::uint8_t* lastBlock, std::int64_t decryptedLength,
                                  std::int64_t recordedSize);

} // namespace kestrow
