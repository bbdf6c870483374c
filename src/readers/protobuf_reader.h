#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace kestrow {

// The bytes of a length-delimited field reached through nested messages: the first field `path[0]`
// of the message, in it the first field `path[1]`, and so on. Only varints, 64-bit, 32-bit and
// length-delimited fields are read; every length is checked, the nesting is bounded by the path.
// Nothing when the path is not there or the data is malformed.
std::optional<std::string_view> ProtobufField(std::string_view message,
                                              std::initializer_list<std::uint32_t> path);

// gzip or zlib data inflated, at most `limit` bytes of output; nothing when it is damaged or larger.
std::optional<std::string> Inflate(std::string_view data, std::size_t limit);

} // namespace kestrow
