// Arbitrary bytes as a picture's EXIF date: a JPEG's APP1 segment, a HEIC's Exif item or a bare block,
// and as the date and offset texts themselves. A date that comes out must be a real one.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/date_time.h"
#include "readers/exif_date.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto date = kestrow::ReadExifDate(input);
    if (date && (date->Days < kestrow::DaysOf(1800, 1, 1) ||
                 (date->UtcOffset && std::abs(*date->UtcOffset) > 14 * 3600))) {
        std::abort(); // a date out of the accepted range
    }
    kestrow::ParseExifDateTime(input);
    kestrow::ParseExifOffset(input);
    return 0;
}
