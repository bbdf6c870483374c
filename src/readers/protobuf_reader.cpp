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
    while (at < message.size()) {
        const auto key = Varint(message, at);
        if (!key) {
            return std::nullopt;
        }
        const auto field = static_cast<std::uint32_t>(*key >> 3);
        switch (*key & 7) {
        case 0:
            if (!Varint(message, at)) {
                return std::nullopt;
            }
            break;
        case 1:
            if (message.size() - at < 8) {
                return std::nullopt;
            }
            at += 8;
            break;
        case 5:
            if (message.size() - at < 4) {
                return std::nullopt;
            }
            at += 4;
            break;
        case 2: {
            const auto length = Varint(message, at);
            if (!length || *length > message.size() - at) {
                return std::nullopt;
            }
            if (field == number) {
                return message.substr(at, static_cast<std::size_t>(*length));
            }
            at += static_cast<std::size_t>(*length);
            break;
        }
        default:
            return std::nullopt; // groups are not used by the stores read here
        }
    }
    return std::nullopt;
}

} // namespace

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

std::optional<std::string> Inflate(std::string_view data, std::size_t limit) {
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
        }
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

} // namespace kestrow
