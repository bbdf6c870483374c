#include "cli/display_text.h"

#include <fmt/format.h>

#include "platform/text.h"
#include "platform/utf8.h"

namespace kestrow {

namespace {

bool IsControl(std::string_view sequence) {
    const auto first = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) {
        return first < 0x20 || first == 0x7F;
    }
    // C1 controls U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
    return sequence.size() == 2 && first == 0xC2 && static_cast<unsigned char>(sequence[1]) <= 0x9F;
}

} // namespace

std::string EscapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        std::uint32_t code = 0;
        const std::size_t length = Utf8SequenceAt(text, at, code);
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
