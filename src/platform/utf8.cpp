#include "platform/utf8.h"

namespace kestrow {

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at, std::uint32_t& code) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    if (lead < 0x80) {
        code = lead;
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

bool IsValidUtf8(std::string_view text) {
    std::uint32_t code = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, at, code);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

std::string WithoutObjectReplacement(std::string_view text) {
    static constexpr std::string_view kObject = "\xEF\xBF\xBC";
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t found = text.find(kObject, at);
        out.append(text.substr(at, found - at));
        if (found == std::string_view::npos) {
            break;
        }
        at = found + kObject.size();
    }
    return out;
}

namespace {

std::uint32_t FoldCode(std::uint32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7) ||
        (c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    // Latin Extended-A pairs capitals and small letters, mostly even/odd, from U+0139 to U+0148
    // and U+0179 to U+017E odd/even.
    if (c >= 0x100 && c <= 0x137 && c % 2 == 0) {
        return c + 1;
    }
    if ((c >= 0x139 && c <= 0x148 && c % 2 == 1) || (c >= 0x179 && c <= 0x17E && c % 2 == 1)) {
        return c + 1;
    }
    if (c >= 0x14A && c <= 0x177 && c % 2 == 0) {
        return c + 1;
    }
    return c;
}

} // namespace

std::string FoldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::uint32_t code = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, at, code);
        if (length == 0) {
            out += text[at++];
            continue;
        }
        if (length == 1) {
            out += static_cast<char>(FoldCode(code));
        } else {
            AppendUtf8(out, FoldCode(code));
        }
        at += length;
    }
    return out;
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
    return FoldCase(a) == FoldCase(b);
}

std::string FirstCharacters(std::string_view text, std::size_t count) {
    std::uint32_t code = 0;
    std::size_t at = 0;
    for (std::size_t n = 0; n < count && at < text.size(); ++n) {
        const std::size_t length = Utf8SequenceAt(text, at, code);
        at += length == 0 ? 1 : length;
    }
    return std::string(text.substr(0, at));
}

std::size_t CharacterCount(std::string_view text) {
    std::uint32_t code = 0;
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); ++count) {
        const std::size_t length = Utf8SequenceAt(text, at, code);
        at += length == 0 ? 1 : length;
    }
    return count;
}

} // namespace kestrow
