// Arbitrary note data: as protobuf through the field walk, the attribute runs and the table merge
// data, as gzip or zlib through the inflater.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string_view>

#include "readers/note_body.h"
#include "readers/note_table.h"
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
    if (const auto document = kestrow::ReadNoteDocument(input)) {
        const kestrow::TNoteBody body = kestrow::RenderNoteBody(
            *document, [](const std::string&, const std::string&) { return std::optional<std::string>(); });
        // Every attachment has its mark in the HTML and in the text.
        std::size_t marks = 0;
        for (std::size_t at = body.Html.find(kestrow::kObjectMark); at != std::string::npos;
             at = body.Html.find(kestrow::kObjectMark, at + 1)) {
            ++marks;
        }
        if (marks != body.Attachments.size()) {
            std::abort();
        }
    }
    const auto cells = kestrow::ReadNoteTable(input);
    for (const auto& row : cells) {
        if (row.size() != cells.front().size()) {
            std::abort();
        }
    }
    return 0;
}
