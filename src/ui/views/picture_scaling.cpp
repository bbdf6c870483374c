#include "ui/views/picture_scaling.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <cmath>

#include "export/contact_card.h"

namespace kestrow {

namespace {

int RoundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value)); // the default rounding mode: halves to even
}

std::string Encode(const QImage& image, const QByteArray& format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.canWrite() || !writer.write(image)) {
        return {};
    }
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

void ChatPictureSize(int width, int height, int& shownWidth, int& shownHeight) {
    shownWidth = width;
    shownHeight = height;
    if (width <= 238 && height <= 188) {
        return;
    }
    if (width < height) {
        shownHeight = 188;
        shownWidth = RoundHalfEven(188.0 * width / height);
    } else {
        shownWidth = 238;
        shownHeight = RoundHalfEven(238.0 * height / width);
    }
}

void PreviewPictureSize(int width, int height, int boxWidth, int boxHeight, int& shownWidth,
                        int& shownHeight) {
    if (width < height) {
        shownHeight = boxHeight;
        shownWidth = RoundHalfEven(static_cast<double>(boxHeight) / height * width);
    } else {
        shownWidth = boxWidth;
        shownHeight = RoundHalfEven(static_cast<double>(height) * boxWidth / width);
    }
}

QImage DecodePicture(const std::string& bytes, QByteArray* format) {
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(256); // megabytes: a hostile header cannot ask for more
    if (format != nullptr) {
        *format = reader.format(); // known before reading: the reader looks at the header
    }
    QImage image = reader.read();
    if (image.width() <= 0 || image.height() <= 0) {
        return {};
    }
    return image;
}

std::optional<TInlinePicture> ChatPicture(const std::string& bytes, const std::string& mime) {
    QByteArray format;
    const QImage image = DecodePicture(bytes, &format);
    if (image.isNull()) {
        return std::nullopt;
    }
    int width = 0;
    int height = 0;
    ChatPictureSize(image.width(), image.height(), width, height);
    const QImage shown = (width == image.width() && height == image.height())
                             ? image
                             : image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    std::string encoded = Encode(shown, format);
    if (encoded.empty()) {
        encoded = Encode(shown, QByteArrayLiteral("png"));
        return encoded.empty() ? std::nullopt
                               : std::optional<TInlinePicture>(TInlinePicture{"image/png", encoded});
    }
    return TInlinePicture{mime, std::move(encoded)};
}

std::optional<TInlinePicture> CardPicture(const std::string& bytes) {
    const QImage image = DecodePicture(bytes);
    if (image.isNull()) {
        return std::nullopt;
    }
    int width = 0;
    int height = 0;
    CardPictureSize(image.width(), image.height(), width, height);
    const QImage shown = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    std::string encoded = Encode(shown, QByteArrayLiteral("bmp"));
    if (encoded.empty()) {
        return std::nullopt;
    }
    return TInlinePicture{"image/bmp", std::move(encoded)};
}

} // namespace kestrow
