// Arbitrary message_summary_info property lists through the edit history reader.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "readers/short_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view plist(reinterpret_cast<const char*>(data), size);
    const kestrow::TMsgSummary summary = kestrow::ReadMessageSummary(plist);
    // Every version's text is a part of the data: their number and lengths are bounded by it.
    std::size_t total = 0;
    for (const auto& edit : summary.Edits) {
        total += edit.second.size();
    }
    if (total > size || summary.UnsentParts < 0 || static_cast<std::size_t>(summary.UnsentParts) > size) {
        std::abort();
    }
    return 0;
}
