#include "readers/protobuf_reader.h"

#include <zlib.h>

namespace kestrow {

namespace {

constexpr int kMaxVarintBytes = 10;

std::optional<std::uint64_t> Varint(std::string_view data, std::size_t& at) {
    std::uint64_t value = 0;
    for (int shift = 0, i = 0; i < kMaxVarintBytes && at < data.size(); ++i, shift += 7) {
        const auto byte = static_cast<unsigned char>(data[at++]);
        value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            return value;
        }
    }
    return std::nullopt;
}

// The first length-delimited field `number` of one message.
std::optional<std::string_view> FieldOf(std::string_view message, std::uint32_t number) {
    std::size_t at = 0;
    TProtobufValue value;
    while (at < message.size()) {
        if (!NextProtobufField(message, at, value)) {
            return std::nullopt;
        }
        if (value.Wire == 2 && value.Field == number) {
            return value.Bytes;
        }
    }
    return std::nullopt;
}

} // namespace

bool NextProtobufField(std::string_view message, std::size_t& at, TProtobufValue& value) {
    const auto key = Varint(message, at);
    if (!key || (*key >> 3) > 0xFFFFFFFFu) {
        return false;
    }
    value.Field = static_cast<std::uint32_t>(*key >> 3);
    value.Wire = static_cast<std::uint32_t>(*key & 7);
    value.Number = 0;
    value.Bytes = {};
    const auto fixed = [&](std::size_t size) {
        if (message.size() - at < size) {
            return false;
        }
        for (std::size_t i = 0; i < size; ++i) {
            value.Number |= static_cast<std::uint64_t>(static_cast<unsigned char>(message[at + i]))
                            << (8 * i);
        }
        at += size;
        return true;
    };
    switch (value.Wire) {
    case 0: {
        const auto number = Varint(message, at);
        value.Number = number.value_or(0);
        return number.has_value();
    }
    case 1:
        return fixed(8);
    case 5:
        return fixed(4);
    case 2: {
        const auto length = Varint(message, at);
        if (!length || *length > message.size() - at) {
            return false;
        }
        value.Bytes = message.substr(at, static_cast<std::size_t>(*length));
        at += static_cast<std::size_t>(*length);
        return true;
    }
    default:
        return false; // groups are not used by the stores read here
    }
}

std::optional<std::string_view> ProtobufField(std::string_view message,
                                              std::initializer_list<std::uint32_t> path) {
    std::optional<std::string_view> current = message;
    for (const std::uint32_t number : path) {
        current = FieldOf(*current, number);
        if (!current) {
            return std::nullopt;
        }
    }
    return current;
}

std::optional<std::string> Inflate(std::string_view data, std::size_t limit, bool* tooLarge) {
    if (tooLarge != nullptr) {
        *tooLarge = false;
    }
    z_stream stream{};
    if (inflateInit2(&stream, 32 + MAX_WBITS) != Z_OK) { // gzip or zlib header, detected
        return std::nullopt;
    }
    std::string out;
    char buffer[16384];
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(std::min<std::size_t>(data.size(), 0xFFFFFFFFu));
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
        if (out.size() > limit) {
            result = Z_BUF_ERROR;
            if (tooLarge != nullptr) {
                *tooLarge = true;
            }
        }
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

} // namespace kestrow
