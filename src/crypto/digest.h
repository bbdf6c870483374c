#pragma once

#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace kestrow {

TBytes Sha1(std::string_view data);
TBytes Sha256(std::string_view data);
std::string HexOf(const TBytes& bytes); // lower-case
// SHA-1 of the bytes as 40 lower-case hexadecimal digits: the content file name of a backup file.
std::string Sha1HexOf(std::string_view data);

// SHA-1 of data given piece by piece (whole files checked against a recorded digest).
class TSha1Stream {
public:
    TSha1Stream();
    TSha1Stream(const TSha1Stream&) = delete;
    TSha1Stream& operator=(const TSha1Stream&) = delete;
    ~TSha1Stream();
    void Update(const void* data, std::size_t size);
    TBytes Final(); // empty on failure

private:
    void* FCtx; // EVP_MD_CTX
};

} // namespace kestrow
