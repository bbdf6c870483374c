#pragma once

#include <cstdint>
#include <string>

#include "platform/bytes.h"

namespace kestrow {

// Protected content files are AES-256-CBC with a zero IV under the file's own key. The length of
// the plain content is taken from the PKCS#7 padding when it is valid; only when it is not, the
// recorded size cuts the output (when the output is longer by at most 16 bytes). Recorded sizes
// are often wrong for databases that changed during the backup, so they never override valid
// padding. Files whose length is not a multiple of 16, and keys shorter than 32 bytes, are refused.

// Decrypts a whole file into memory; `dest` is replaced (previews, small databases).
bool DecryptBackupFileToStream(const std::string& source, const TBytes& fileKey, std::string& dest,
                               std::int64_t recordedSize);

// Decrypts a file to another file in constant memory. The output is written under a private name
// beside the target and renamed into place only on success: a failure leaves no partial file and
// never replaces an existing one.
bool DecryptBackupFileToFile(const std::string& source, const TBytes& fileKey, const std::string& dest,
                             std::int64_t recordedSize);

// How many plain bytes a decrypted last block keeps (0..16), given the total decrypted length.
std::size_t PlainBytesOfLastBlock(const std::uint8_t* lastBlock, std::int64_t decryptedLength,
                                  std::int64_t recordedSize);

} // namespace kestrow
