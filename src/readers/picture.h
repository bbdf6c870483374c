#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow {

// An RGB picture, 3 bytes a pixel, rows top to bottom.
struct TRgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Pixels;
};

// Decodes JPEG data (TurboJPEG's error codes: a damaged picture never ends the program). Nothing for
// data that is not a decodable JPEG or would decode to more than 64 million pixels. With a size to
// fit, the picture is scaled while it is decoded, by the smallest of TurboJPEG's factors (down to
// 1/8) that still covers fitWidth x fitHeight, so a picture declaring 8192 x 8192 costs 1024 x 1024.
std::optional<TRgbImage> DecodeJpeg(std::string_view data, int fitWidth = 0, int fitHeight = 0);
// The same at the smallest of TurboJPEG's scales (1/8 to 1) at which the longer side still reaches
// maxSide: a thumbnail decodes an eighth of the pixels of the whole picture or fewer.
std::optional<TRgbImage> DecodeJpegScaled(std::string_view data, int maxSide);
// Encodes as a baseline JPEG; empty on failure.
std::string EncodeJpeg(const TRgbImage& image, int quality = 90);
// Stretches to the given size with an area-averaging filter (smooth when shrinking and enlarging).
TRgbImage Stretch(const TRgbImage& image, int width, int height);
// A white picture.
TRgbImage BlankImage(int width, int height);

// A contact's thumbnail: the picture decoded (scaled while decoding) and stretched onto 96 x 96,
// encoded as JPEG. Data under 4 bytes gives none; data that does not decode gives the blank picture.
std::optional<std::string> ThumbnailJpeg(std::string_view data);

constexpr int kThumbnailSize = 96;

} // namespace kestrow
