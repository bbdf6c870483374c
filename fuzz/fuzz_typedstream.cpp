// Arbitrary attributedBody archives through the message text reader.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "readers/typedstream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view blob(reinterpret_cast<const char*>(data), size);
    // The text is a part of the archive with U+FFFC removed: never longer than it.
    if (kestrow::AttributedBodyText(blob).size() > size) {
        std::abort();
    }
    return 0;
}
