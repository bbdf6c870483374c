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

} // namespace kestrow
