#include "support/picture_writer.h"

#include <cstring>
#include <libheif/heif.h>
#include <stdexcept>

namespace kestrow::test {

namespace {

void Put16(std::string& out, unsigned value) {
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

void Put32(std::string& out, unsigned value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void Entry(std::string& out, unsigned tag, unsigned type, unsigned count, unsigned value) {
    Put16(out, tag);
    Put16(out, type);
    Put32(out, count);
    Put32(out, value);
}

void Check(const heif_error& result) {
    if (result.code != heif_error_Ok) {
        throw std::runtime_error(std::string("libheif: ") + result.message);
    }
}

heif_error AppendTo(heif_context*, const void* data, size_t size, void* userdata) {
    static_cast<std::string*>(userdata)->append(static_cast<const char*>(data), size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

} // namespace

std::string ExifTiff(const std::string& dateTimeOriginal, int orientation, const std::string& offset) {
    // Little-endian: header (8), IFD0 at 8 with two entries, EXIF IFD after it, then the texts.
    const unsigned exifIfd = 8 + 2 + 2 * 12 + 4;
    const unsigned exifEntries = offset.empty() ? 1 : 2;
    const unsigned dateAt = exifIfd + 2 + exifEntries * 12 + 4;
    const unsigned offsetAt = dateAt + static_cast<unsigned>(dateTimeOriginal.size()) + 1;
    std::string out = "II*";
    out += '\0';
    Put32(out, 8);
    Put16(out, 2);
    Entry(out, 0x0112, 3, 1, static_cast<unsigned>(orientation));
    Entry(out, 0x8769, 4, 1, exifIfd);
    Put32(out, 0);
    Put16(out, exifEntries);
    Entry(out, 0x9003, 2, static_cast<unsigned>(dateTimeOriginal.size()) + 1, dateAt);
    if (!offset.empty()) {
        Entry(out, 0x9011, 2, static_cast<unsigned>(offset.size()) + 1, offsetAt);
    }
    Put32(out, 0);
    out += dateTimeOriginal;
    out += '\0';
    if (!offset.empty()) {
        out += offset;
        out += '\0';
    }
    return out;
}

std::string JpegWithExif(const std::string& jpeg, const std::string& exifTiff) {
    const std::size_t length = 2 + 6 + exifTiff.size();
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    segment.append("Exif\0\0", 6);
    return jpeg.substr(0, 2) + segment + exifTiff + jpeg.substr(2);
}

std::string TestHeic(int width, int height, unsigned char red, unsigned char green, unsigned char blue,
                     const std::string& exifTiff, int thumbnailSide) {
    heif_context* context = heif_context_alloc();
    heif_image* image = nullptr;
    heif_encoder* encoder = nullptr;
    std::string out;
    try {
        Check(heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image));
        Check(heif_image_add_plane(image, heif_channel_interleaved, width, height, 8));
        int stride = 0;
        std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t* pixel = plane + static_cast<std::ptrdiff_t>(y) * stride + x * 3;
                pixel[0] = red;
                pixel[1] = green;
                pixel[2] = blue;
            }
        }
        Check(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder));
        Check(heif_encoder_set_lossy_quality(encoder, 90));
        heif_image_handle* handle = nullptr;
        Check(heif_context_encode_image(context, image, encoder, nullptr, &handle));
        if (!exifTiff.empty()) {
            // libheif finds the TIFF header in the data and writes the offset to it itself.
            const std::string block = std::string("Exif\0\0", 6) + exifTiff;
            Check(heif_context_add_exif_metadata(context, handle, block.data(),
                                                 static_cast<int>(block.size())));
        }
        if (thumbnailSide > 0) {
            heif_image_handle* thumbnail = nullptr;
            Check(heif_context_encode_thumbnail(context, image, handle, encoder, nullptr, thumbnailSide,
                                                &thumbnail));
            heif_image_handle_release(thumbnail);
        }
        heif_image_handle_release(handle);
        heif_writer writer{1, &AppendTo};
        Check(heif_context_write(context, &writer, &out));
    } catch (...) {
        heif_encoder_release(encoder);
        heif_image_release(image);
        heif_context_free(context);
        throw;
    }
    heif_encoder_release(encoder);
    heif_image_release(image);
    heif_context_free(context);
    return out;
}

} // namespace kestrow::test
