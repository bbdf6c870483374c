// Arbitrary XML as Safari's history list: the walk reads what it can and stops, never worse.
#include <cstdint>
#include <string_view>

#include "readers/safari.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kestrow::ReadHistoryXml(std::string_view(reinterpret_cast<const char*>(data), size), 3600);
    return 0;
}
