#pragma once

#include <cctype>
#include <string>

#include "platform/bytes.h"

namespace kestrow::test {

inline TBytes FromHex(const std::string& hex) {
    TBytes out;
    std::string digits;
    for (char c : hex) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits.push_back(c);
        }
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return out;
}

} // namespace kestrow::test
