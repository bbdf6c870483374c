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

// The smallest scaling factor not above 1 whose picture still covers the size to fit; 1 when none
// is asked for or none covers it.
tjscalingfactor FittingScale(int width, int height, int fitWidth, int fitHeight) {
    tjscalingfactor best{1, 1};
    int count = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&count);
    for (int i = 0; fitWidth > 0 && fitHeight > 0 && factors != nullptr && i < count; ++i) {
        const tjscalingfactor f = factors[i];
        if (f.num <= f.denom && TJSCALED(width, f) >= fitWidth && TJSCALED(height, f) >= fitHeight &&
            TJSCALED(width, f) < TJSCALED(width, best)) {
            best = f;
        }
    }
    return best;
}

} // namespace

std::optional<TRgbImage> DecodeJpegScaled(std::string_view data, int maxSide) {
    const TTurbo turbo(tjInitDecompress());
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (maxSide <= 0 || !turbo || data.empty() || data.size() > 0x7FFFFFFF ||
        tjDecompressHeader3(turbo.get(), reinterpret_cast<const unsigned char*>(data.data()),
                            static_cast<unsigned long>(data.size()), &width, &height, &subsampling,
                            &colorspace) != 0) {
        return DecodeJpeg(data);
    }
    // The longer side reaches maxSide; the shorter one follows.
    return width >= height ? DecodeJpeg(data, maxSide, 1) : DecodeJpeg(data, 1, maxSide);
}

std::optional<TRgbImage> DecodeJpeg(std::string_view data, int fitWidth, int fitHeight) {
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
        width <= 0 || height <= 0) {
        return std::nullopt;
    }
    const tjscalingfactor scale = FittingScale(width, height, fitWidth, fitHeight);
    width = TJSCALED(width, scale);
    height = TJSCALED(height, scale);
    if (static_cast<long long>(width) * height > kMaxPixels) {
        return std::nullopt;
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
    const auto decoded = DecodeJpeg(data, kThumbnailSize, kThumbnailSize);
    const TRgbImage thumbnail = decoded ? Stretch(*decoded, kThumbnailSize, kThumbnailSize)
                                        : BlankImage(kThumbnailSize, kThumbnailSize);
    return EncodeJpeg(thumbnail);
}

} // namespace kestrow
