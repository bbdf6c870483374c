#pragma once

#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace kestrow {

// The three steps that open a password-locked note: its key-encrypting key, the note key and the data.

// PBKDF2-HMAC-SHA-256 of the password over the note's salt, 16 bytes. False when the count is below 1.
bool DeriveNoteKek(std::string_view password, const TBytes& salt, int iterations, TBytes& kek);

// RFC 3394 unwrap under a 128-bit key-encrypting key; false when the integrity check fails (a wrong
// password) or the sizes are not those of a wrapped 128-bit key.
bool UnwrapNoteKey(const TBytes& kek, const TBytes& wrapped, TBytes& key);

// AES-128-GCM decryption with a 16-byte nonce (any length from 1 to 64 is taken) and a 16-byte tag;
// false when the tag does not match, so damaged data never passes as plain text.
bool AesGcmDecrypt(const TBytes& key, const TBytes& iv, const TBytes& tag, std::string_view data,
                   std::string& plain);

} // namespace kestrow
