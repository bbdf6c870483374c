#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrow {

// Keys, wrapped keys and decoded binary values.
using TBytes = std::vector<std::uint8_t>;

inline TBytes BytesOf(const std::string& text) {
    return TBytes(text.begin(), text.end());
}

inline std::string StringOf(const TBytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

} // namespace kestrow
