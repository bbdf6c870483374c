// Arbitrary note bodies through the cleaner the note page shows them with.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "export/note_page.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const std::string cleaned = kestrow::SafeNoteHtml(body);
    // What the cleaner lets through needs no more cleaning: nothing it removes can be left in or
    // formed anew by what it keeps.
    if (kestrow::SafeNoteHtml(cleaned) != cleaned) {
        std::abort();
    }
    return 0;
}
