// Arbitrary note bodies through the plain-text conversion and the entity decoder.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "readers/notes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    kestrow::NoteTextOf(body);
    // Decoding never makes a text longer than three bytes per input byte (U+FFFD for "&#;").
    if (kestrow::HtmlUnescape(body).size() > 3 * size) {
        std::abort();
    }
    return 0;
}
