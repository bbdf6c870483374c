// Arbitrary bytes as a HEIC picture: converted at full size and as a thumbnail (first byte picks the side).
// Besides not crashing, a JPEG that comes out must decode again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "readers/heif_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const int side = size == 0 ? 0 : data[0] % 4 * 24;
    std::string error;
    const auto jpeg = kestrow::HeifToJpeg(input, side, error);
    if (jpeg && !kestrow::DecodeJpeg(*jpeg)) {
        std::abort(); // a converted picture that does not decode
    }
    return 0;
}
