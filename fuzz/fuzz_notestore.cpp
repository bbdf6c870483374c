// Arbitrary note data: as protobuf through the field walk, as gzip or zlib through the inflater.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string_view>

#include "readers/notes.h"
#include "readers/protobuf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto field = kestrow::ProtobufField(input, {2, 3, 2});
    // A field found is a view into the message itself.
    if (field &&
        (field->data() < input.data() || field->data() + field->size() > input.data() + input.size())) {
        std::abort();
    }
    constexpr std::size_t kLimit = 1 << 16;
    const auto inflated = kestrow::Inflate(input, kLimit);
    if (inflated && inflated->size() > kLimit) {
        std::abort();
    }
    kestrow::NoteStoreText(input);
    return 0;
}
