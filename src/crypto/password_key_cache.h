#pragma once

#include <cstdint>
#include <string>

#include "platform/bytes.h"

namespace kestrow {

struct TPasswordKeyRequest {
    std::string Password; // at most 255 bytes
    TBytes Salt;
    std::int32_t Iterations = 0;
    TBytes DoubleSalt; // empty: single PBKDF2-HMAC-SHA-1 derivation
    std::int32_t DoubleIterations = 0;
};

// Derives a keybag's password key. With a double salt the password first goes through
// PBKDF2-HMAC-SHA-256 (DoubleSalt, DoubleIterations, 32 bytes), whose output is the input of the
// PBKDF2-HMAC-SHA-1 step. A derivation can take seconds, so each result is kept in memory for the
// life of the process (never on disk), indexed by a SHA-256 of the request; a password check and
// the unlock that follows it derive once.
bool DerivePasswordKeyCached(const TPasswordKeyRequest& request, TBytes& key);

// Drops every cached password key (a front end that closes all backups may want them gone).
void ForgetPasswordKeys();

// Number of derivations actually computed so far (cache misses).
std::uint64_t PasswordKeyDerivationCount();

} // namespace kestrow
