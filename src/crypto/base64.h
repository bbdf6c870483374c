#pragma once

#include <string>
#include <string_view>

#include "platform/bytes.h"

namespace kestrow {

// Standard alphabet with "=" padding. Every character outside the alphabet (line breaks, tabs,
// spaces) is ignored; decoding stops at the first "=".
TBytes Base64Decode(std::string_view text);
std::string Base64DecodeToString(std::string_view text);
// Lines of `lineLength` characters separated by CR LF; 0 writes one line.
std::string Base64Encode(std::string_view data, std::size_t lineLength = 0);

} // namespace kestrow
