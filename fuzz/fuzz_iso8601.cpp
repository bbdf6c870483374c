#include <cstdint>
#include <string_view>

#include "platform/iso8601.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    double local = 0;
    kestrow::IsoDateToLocal(text, local);
    kestrow::FallbackDate(text);
    return 0;
}
