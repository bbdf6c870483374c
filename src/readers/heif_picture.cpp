#include "readers/heif_picture.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <libheif/heif.h>
#include <memory>
#include <vector>

namespace kestrow {

namespace {

constexpr long long kMaxPixels = 64LL * 1024 * 1024;
// A JPEG segment holds at most 65,533 bytes after its length field.
constexpr std::size_t kMaxApp1Payload = 65533;

struct TContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct THandleFree {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct TImageFree {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct TOptionsFree {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using THandle = std::unique_ptr<heif_image_handle, THandleFree>;

bool Failed(const heif_error& result, std::string& error) {
    if (result.code == heif_error_Ok) {
        return false;
    }
    error = result.message != nullptr && *result.message != '\0' ? result.message : "HEIF error";
    return true;
}

bool TooLarge(const heif_image_handle* handle) {
    const long long width = heif_image_handle_get_width(handle);
    const long long height = heif_image_handle_get_height(handle);
    return width <= 0 || height <= 0 || width * height > kMaxPixels;
}

// The smallest embedded thumbnail whose longer side reaches maxSide, if any.
THandle UsableThumbnail(const heif_image_handle* primary, int maxSide) {
    const int count = std::min(heif_image_handle_get_number_of_thumbnails(primary), 16);
    if (count <= 0) {
        return nullptr;
    }
    std::vector<heif_item_id> ids(static_cast<std::size_t>(count));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    THandle best;
    int bestSide = 0;
    for (int i = 0; i < listed; ++i) {
        heif_image_handle* thumbnail = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[static_cast<std::size_t>(i)], &thumbnail).code !=
            heif_error_Ok) {
            continue;
        }
        THandle owned(thumbnail);
        const int side =
            std::max(heif_image_handle_get_width(thumbnail), heif_image_handle_get_height(thumbnail));
        if (side >= maxSide && !TooLarge(thumbnail) && (!best || side < bestSide)) {
            best = std::move(owned);
            bestSide = side;
        }
    }
    return best;
}

std::optional<TRgbImage> DecodeHandle(const heif_image_handle* handle, std::string& error) {
    if (TooLarge(handle)) {
        error = "picture too large";
        return std::nullopt;
    }
    const std::unique_ptr<heif_decoding_options, TOptionsFree> options(heif_decoding_options_alloc());
    heif_image* decoded = nullptr;
    if (Failed(heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                                 options.get()),
               error)) {
        return std::nullopt;
    }
    const std::unique_ptr<heif_image, TImageFree> image(decoded);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    if (plane == nullptr || width <= 0 || height <= 0 || stride < width * 3 ||
        static_cast<long long>(width) * height > kMaxPixels) {
        error = "no picture in the HEIF data";
        return std::nullopt;
    }
    TRgbImage rgb{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y) {
        std::memcpy(&rgb.Pixels[static_cast<std::size_t>(y) * width * 3],
                    plane + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride),
                    static_cast<std::size_t>(width) * 3);
    }
    return rgb;
}

std::uint16_t Read16(const std::string& tiff, std::size_t at, bool little) {
    const auto a = static_cast<unsigned char>(tiff[at]);
    const auto b = static_cast<unsigned char>(tiff[at + 1]);
    return static_cast<std::uint16_t>(little ? a | b << 8 : a << 8 | b);
}

std::uint32_t Read32(const std::string& tiff, std::size_t at, bool little) {
    const std::uint32_t high = Read16(tiff, at + (little ? 2 : 0), little);
    const std::uint32_t low = Read16(tiff, at + (little ? 0 : 2), little);
    return high << 16 | low;
}

// libheif hands out pixels already turned upright, so an orientation tag left as it was would make
// viewers turn the copy a second time: IFD0's orientation becomes 1 ("as stored").
void MarkUpright(std::string& tiff) {
    const bool little = tiff[0] == 'I';
    const std::size_t ifd = Read32(tiff, 4, little);
    if (ifd > tiff.size() || tiff.size() - ifd < 2) {
        return;
    }
    const std::size_t count = Read16(tiff, ifd, little);
    for (std::size_t i = 0; i < count && ifd + 2 + (i + 1) * 12 <= tiff.size(); ++i) {
        const std::size_t entry = ifd + 2 + i * 12;
        if (Read16(tiff, entry, little) == 0x0112 && Read16(tiff, entry + 2, little) == 3) {
            tiff[entry + 8] = static_cast<char>(little ? 1 : 0);
            tiff[entry + 9] = static_cast<char>(little ? 0 : 1);
        }
    }
}

// The TIFF part of the primary picture's EXIF block (HEIF puts a 4-byte offset to the TIFF header first).
std::string StoredExifTiff(const heif_image_handle* primary) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(primary, "Exif", &id, 1) != 1) {
        return {};
    }
    const std::size_t size = heif_image_handle_get_metadata_size(primary, id);
    if (size < 12 || size > kMaxApp1Payload + 64) {
        return {};
    }
    std::string block(size, '\0');
    if (heif_image_handle_get_metadata(primary, id, block.data()).code != heif_error_Ok) {
        return {};
    }
    const std::size_t offset = Read32(block, 0, false);
    if (offset > size - 4 || size - 4 - offset < 8) {
        return {};
    }
    std::string tiff = block.substr(4 + offset);
    if (tiff.compare(0, 4, "II*\0", 4) != 0 && tiff.compare(0, 4, "MM\0*", 4) != 0) {
        return {};
    }
    return tiff;
}

std::string ExifTiff(const heif_image_handle* primary) {
    std::string tiff = StoredExifTiff(primary);
    if (!tiff.empty()) {
        MarkUpright(tiff);
    }
    return tiff;
}

// Puts an APP1 "Exif" segment right after the JPEG's start-of-image marker.
std::string WithExif(const std::string& jpeg, const std::string& tiff) {
    const std::size_t payload = 6 + tiff.size();
    if (tiff.empty() || payload > kMaxApp1Payload || jpeg.size() < 2) {
        return jpeg;
    }
    const std::size_t length = payload + 2;
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    segment.append("Exif\0\0", 6);
    segment += tiff;
    return jpeg.substr(0, 2) + segment + jpeg.substr(2);
}

std::unique_ptr<heif_context, TContextFree> ReadContext(std::string_view heif, std::string& error) {
    if (!IsHeifData(heif) || heif.size() > 0x7FFFFFFF) {
        error = "not HEIF data";
        return nullptr;
    }
    static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
    std::unique_ptr<heif_context, TContextFree> context(initialised ? heif_context_alloc() : nullptr);
    if (!context) {
        error = "out of memory";
        return nullptr;
    }
    if (Failed(heif_context_read_from_memory_without_copy(context.get(), heif.data(), heif.size(), nullptr),
               error)) {
        return nullptr;
    }
    return context;
}

struct TDecoded {
    TRgbImage Image;
    std::string ExifTiff;
};

std::optional<TDecoded> Decode(std::string_view heif, int maxSide, bool withExif, std::string& error) {
    const auto context = ReadContext(heif, error);
    if (!context) {
        return std::nullopt;
    }
    heif_image_handle* primary = nullptr;
    if (Failed(heif_context_get_primary_image_handle(context.get(), &primary), error)) {
        return std::nullopt;
    }
    const THandle owned(primary);
    const THandle thumbnail = maxSide > 0 ? UsableThumbnail(primary, maxSide) : nullptr;
    auto image = DecodeHandle(thumbnail ? thumbnail.get() : primary, error);
    if (!image) {
        return std::nullopt;
    }
    return TDecoded{FitInto(*image, maxSide), withExif ? ExifTiff(primary) : std::string()};
}

} // namespace

bool IsHeifData(std::string_view data) {
    static constexpr std::array<std::string_view, 12> kBrands = {
        "heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis", "mif2", "miaf"};
    if (data.size() < 16 || data.substr(4, 4) != "ftyp") {
        return false;
    }
    const auto byte = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(data[i]));
    };
    const std::size_t boxSize = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
    if (boxSize < 16) {
        return false;
    }
    const std::size_t end = std::min(boxSize, data.size());
    // The major brand, then the compatible brands after the minor version.
    for (std::size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        if (std::find(kBrands.begin(), kBrands.end(), data.substr(at, 4)) != kBrands.end()) {
            return true;
        }
    }
    return false;
}

std::string HeifExifTiff(std::string_view heif) {
    std::string error;
    const auto context = ReadContext(heif, error);
    heif_image_handle* primary = nullptr;
    if (!context || heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok) {
        return {};
    }
    const THandle owned(primary);
    return StoredExifTiff(primary);
}

std::optional<TRgbImage> DecodePicture(std::string_view data, int maxSide, std::string& error) {
    if (IsHeifData(data)) {
        return DecodeHeif(data, maxSide, error);
    }
    auto image = DecodeJpegScaled(data, maxSide);
    if (!image) {
        error = "not a picture that decodes";
        return std::nullopt;
    }
    return FitInto(*image, maxSide);
}

TRgbImage FitInto(const TRgbImage& image, int maxSide) {
    const int longer = std::max(image.Width, image.Height);
    if (maxSide <= 0 || longer <= maxSide) {
        return image;
    }
    const int width = std::max(1, static_cast<int>(static_cast<long long>(image.Width) * maxSide / longer));
    const int height = std::max(1, static_cast<int>(static_cast<long long>(image.Height) * maxSide / longer));
    return Stretch(image, width, height);
}

std::optional<TRgbImage> DecodeHeif(std::string_view heif, int maxSide, std::string& error) {
    auto decoded = Decode(heif, maxSide, false, error);
    if (!decoded) {
        return std::nullopt;
    }
    return std::move(decoded->Image);
}

std::optional<std::string> HeifToJpeg(std::string_view heif, int maxSide, std::string& error) {
    const auto decoded = Decode(heif, maxSide, maxSide == 0, error);
    if (!decoded) {
        return std::nullopt;
    }
    std::string jpeg = EncodeJpeg(decoded->Image);
    if (jpeg.empty()) {
        error = "JPEG encoding failed";
        return std::nullopt;
    }
    return WithExif(jpeg, decoded->ExifTiff);
}

} // namespace kestrow
