#include "cli/display_text.h"

#include <fmt/format.h>

namespace kestrow {

namespace {

// Length of the valid UTF-8 sequence starting at `text[at]`, or 0 when none starts there.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - at < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return (overlong || surrogate || code > 0x10FFFF) ? 0 : length;
}

bool IsControl(std::string_view sequence) {
    const auto first = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) {
        return first < 0x20 || first == 0x7F;
    }
    // C1 controls U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
    return sequence.size() == 2 && first == 0xC2 && static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

std::string EscapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, at);
        const std::string_view sequence = text.substr(at, length == 0 ? 1 : length);
        if (sequence == "\\") {
            out += "\\\\";
        } else if (length == 0 || IsControl(sequence)) {
            for (unsigned char c : sequence) {
                out += fmt::format("\\x{:02x}", c);
            }
        } else {
            out += sequence;
        }
        at += sequence.size();
    }
    return out;
}

std::optional<std::string> UnescapeText(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            out += text[at];
            continue;
        }
        if (at + 1 < text.size() && text[at + 1] == '\\') {
            out += '\\';
            ++at;
        } else if (at + 3 < text.size() && text[at + 1] == 'x' && HexDigit(text[at + 2]) >= 0 &&
                   HexDigit(text[at + 3]) >= 0) {
            out += static_cast<char>(HexDigit(text[at + 2]) * 16 + HexDigit(text[at + 3]));
            at += 3;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::string JsonText(std::string_view text) {
    return IsValidUtf8(text) ? std::string(text) : EscapeText(text);
}

} // namespace kestrow
