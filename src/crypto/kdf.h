#pragma once

#include <string_view>

#include "platform/bytes.h"

namespace kestrow {

// PBKDF2 with HMAC-SHA-1 / HMAC-SHA-256. False when the iteration count is below 1 or the
// library reports an error.
bool Pbkdf2HmacSha1(std::string_view password, const TBytes& salt, int iterations, std::size_t length,
                    TBytes& out);
bool Pbkdf2HmacSha256(std::string_view password, const TBytes& salt, int iterations, std::size_t length,
                      TBytes& out);

// Password key of the older keybag: PBKDF2-HMAC-SHA-1 over at most the first 255 password bytes,
// 32 bytes long.
bool DeriveBackupPasswordKey(std::string_view password, const TBytes& salt, int iterations, TBytes& key);

} // namespace kestrow
