#include "readers/picture.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <turbojpeg.h>

namespace kestrow {

namespace {

constexpr long long kMaxPixels = 64LL * 1024 * 1024;

struct TTurboFree {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using TTurbo = std::unique_ptr<void, TTurboFree>;

// Area-averaging along one axis: each output sample is the mean of the source interval it covers,
// partial source samples weighted by their overlap.
void ResampleLine(const std::uint8_t* in, int inCount, std::size_t inStride, std::uint8_t* out, int outCount,
                  std::size_t outStride) {
    const double scale = static_cast<double>(inCount) / outCount;
    for (int o = 0; o < outCount; ++o) {
        const double from = o * scale;
        const double to = (o + 1) * scale;
        double sums[3] = {0, 0, 0};
        double weight = 0;
        for (int i = static_cast<int>(from); i < inCount && i < to; ++i) {
            const double w = std::min<double>(i + 1, to) - std::max<double>(i, from);
            if (w <= 0) {
                continue;
            }
            for (int c = 0; c < 3; ++c) {
                sums[c] += w * in[static_cast<std::size_t>(i) * inStride + c];
            }
            weight += w;
        }
        for (int c = 0; c < 3; ++c) {
            out[static_cast<std::size_t>(o) * outStride + c] = static_cast<std::uint8_t>(
                std::clamp(std::lround(weight > 0 ? sums[c] / weight : 255), 0L, 255L));
        }
    }
}

// The smallest scaled size whose longer side still reaches maxSide (TurboJPEG decodes to the size
// asked for when it is one of its scales).
void ScaleDown(int& width, int& height, int maxSide) {
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    int bestWidth = width;
    int bestHeight = height;
    for (int i = 0; factors != nullptr && i < count; ++i) {
        const int w = TJSCALED(width, factors[i]);
        const int h = TJSCALED(height, factors[i]);
        if (std::max(w, h) >= maxSide &&
            w * static_cast<long long>(h) < bestWidth * static_cast<long long>(bestHeight)) {
            bestWidth = w;
            bestHeight = h;
        }
    }
    width = bestWidth;
    height = bestHeight;
}

} // namespace

std::optional<TRgbImage> DecodeJpeg(std::string_view data) {
    return DecodeJpegScaled(data, 0);
}

std::optional<TRgbImage> DecodeJpegScaled(std::string_view data, int maxSide) {
    const TTurbo turbo(tjInitDecompress());
    if (!turbo || data.empty() || data.size() > 0x7FFFFFFF) {
        return std::nullopt;
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    const auto size = static_cast<unsigned long>(data.size());
    if (tjDecompressHeader3(turbo.get(), bytes, size, &width, &height, &subsampling, &colorspace) != 0 ||
        width <= 0 || height <= 0 || static_cast<long long>(width) * height > kMaxPixels) {
        return std::nullopt;
    }
    if (maxSide > 0) {
        ScaleDown(width, height, maxSide);
    }
    TRgbImage image{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    if (tjDecompress2(turbo.get(), bytes, size, image.Pixels.data(), width, 0, height, TJPF_RGB,
                      TJFLAG_ACCURATEDCT) != 0 &&
        tjGetErrorCode(turbo.get()) == TJERR_FATAL) {
        return std::nullopt;
    }
    return image;
}

std::string EncodeJpeg(const TRgbImage& image, int quality) {
    const TTurbo turbo(tjInitCompress());
    if (!turbo || image.Width <= 0 || image.Height <= 0) {
        return {};
    }
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (tjCompress2(turbo.get(), image.Pixels.data(), image.Width, 0, image.Height, TJPF_RGB, &jpeg, &size,
                    TJSAMP_420, quality, TJFLAG_ACCURATEDCT) != 0) {
        tjFree(jpeg);
        return {};
    }
    std::string result(reinterpret_cast<const char*>(jpeg), size);
    tjFree(jpeg);
    return result;
}

TRgbImage Stretch(const TRgbImage& image, int width, int height) {
    // Rows first into an intermediate picture of the new width, then columns.
    TRgbImage wide{width, image.Height,
                   std::vector<std::uint8_t>(static_cast<std::size_t>(width) * image.Height * 3)};
    for (int y = 0; y < image.Height; ++y) {
        ResampleLine(&image.Pixels[static_cast<std::size_t>(y) * image.Width * 3], image.Width, 3,
                     &wide.Pixels[static_cast<std::size_t>(y) * width * 3], width, 3);
    }
    TRgbImage out{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int x = 0; x < width; ++x) {
        ResampleLine(&wide.Pixels[static_cast<std::size_t>(x) * 3], image.Height,
                     static_cast<std::size_t>(width) * 3, &out.Pixels[static_cast<std::size_t>(x) * 3],
                     height, static_cast<std::size_t>(width) * 3);
    }
    return out;
}

TRgbImage BlankImage(int width, int height) {
    return {width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3, 255)};
}

std::optional<std::string> ThumbnailJpeg(std::string_view data) {
    if (data.size() < 4) {
        return std::nullopt;
    }
    const auto decoded = DecodeJpeg(data);
    const TRgbImage thumbnail = decoded ? Stretch(*decoded, kThumbnailSize, kThumbnailSize)
                                        : BlankImage(kThumbnailSize, kThumbnailSize);
    return EncodeJpeg(thumbnail);
}

} // namespace kestrow
