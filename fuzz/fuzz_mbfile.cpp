// The `file` blobs of a current-layout manifest: binary keyed archives straight from the backup.
#include <cstdint>
#include <string_view>

#include "archive/manifest_db.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kestrow::TMbFileInfo info;
    kestrow::ParseMbFile(std::string_view(reinterpret_cast<const char*>(data), size), info);
    return 0;
}
