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

// One field of a message: its number, wire type (0 varint, 1 64-bit, 2 bytes, 5 32-bit), the value of
// a varint or fixed field, the bytes of a length-delimited one (a view into the message).
struct TProtobufValue {
    std::uint32_t Field = 0;
    std::uint32_t Wire = 0;
    std::uint64_t Number = 0;
    std::string_view Bytes;
};

// Calls `visit` with each field of one message in order; false when the message is malformed (the
// fields before the fault have been visited). Every length is checked against the message.
template <typename TVisit> bool ForEachProtobufField(std::string_view message, TVisit&& visit);

// The next field of `message` at `at` (moved past it); false at a malformed field.
bool NextProtobufField(std::string_view message, std::size_t& at, TProtobufValue& value);

template <typename TVisit> bool ForEachProtobufField(std::string_view message, TVisit&& visit) {
    std::size_t at = 0;
    TProtobufValue value;
    while (at < message.size()) {
        if (!NextProtobufField(message, at, value)) {
            return false;
        }
        visit(value);
    }
    return true;
}

// gzip or zlib data inflated, at most `limit` bytes of output; nothing when it is damaged or larger
// (`tooLarge` then tells which).
std::optional<std::string> Inflate(std::string_view data, std::size_t limit, bool* tooLarge = nullptr);

} // namespace kestrow
