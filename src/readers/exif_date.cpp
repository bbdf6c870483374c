#include "readers/exif_date.h"

#include <libexif/exif-data.h>
#include <memory>
#include <string>

#include "platform/date_time.h"
#include "readers/heif_picture.h"

namespace kestrow {

namespace {

// libexif takes at most an unsigned int of data; a JPEG's EXIF segment lies in its first 64 KiB.
constexpr std::size_t kMaxExifInput = 1 << 20;
constexpr ExifTag kOffsetTimeOriginal = static_cast<ExifTag>(0x9011);

struct TExifFree {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

int Digits(std::string_view text, std::size_t at, std::size_t count) {
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// An ASCII entry's text up to its first NUL.
std::string_view EntryText(ExifData* data, ExifTag tag) {
    ExifEntry* entry = nullptr;
    for (ExifIfd ifd : {EXIF_IFD_EXIF, EXIF_IFD_0}) {
        if (entry == nullptr && data->ifd[ifd] != nullptr) {
            entry = exif_content_get_entry(data->ifd[ifd], tag);
        }
    }
    if (entry == nullptr || entry->format != EXIF_FORMAT_ASCII || entry->data == nullptr) {
        return {};
    }
    const std::string_view text(reinterpret_cast<const char*>(entry->data), entry->size);
    return text.substr(0, text.find('\0'));
}

} // namespace

std::optional<double> ParseExifDateTime(std::string_view text) {
    if (text.size() < 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':') {
        return std::nullopt;
    }
    const int year = Digits(text, 0, 4);
    const int month = Digits(text, 5, 2);
    const int day = Digits(text, 8, 2);
    const int hour = Digits(text, 11, 2);
    const int minute = Digits(text, 14, 2);
    const int second = Digits(text, 17, 2);
    // Cameras without a set clock write "0000:00:00 00:00:00": no date.
    if (year < 1800 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60) {
        return std::nullopt;
    }
    return DaysOf(year, month, day) + (hour * 3600 + minute * 60 + second) / kSecondsPerDay;
}

std::optional<int> ParseExifOffset(std::string_view text) {
    if (text.size() < 6 || (text[0] != '+' && text[0] != '-') || text[3] != ':') {
        return std::nullopt;
    }
    const int hours = Digits(text, 1, 2);
    const int minutes = Digits(text, 4, 2);
    if (hours < 0 || hours > 14 || minutes < 0 || minutes > 59) {
        return std::nullopt;
    }
    const int seconds = hours * 3600 + minutes * 60;
    return text[0] == '-' ? -seconds : seconds;
}

std::optional<TExifDate> ReadExifDate(std::string_view data) {
    std::string block;
    if (IsHeifData(data)) {
        const std::string tiff = HeifExifTiff(data);
        if (tiff.empty()) {
            return std::nullopt;
        }
        block = std::string("Exif\0\0", 6) + tiff;
        data = block;
    }
    data = data.substr(0, kMaxExifInput);
    const std::unique_ptr<ExifData, TExifFree> exif(exif_data_new_from_data(
        reinterpret_cast<const unsigned char*>(data.data()), static_cast<unsigned>(data.size())));
    if (!exif) {
        return std::nullopt;
    }
    auto days = ParseExifDateTime(EntryText(exif.get(), EXIF_TAG_DATE_TIME_ORIGINAL));
    if (!days) {
        days = ParseExifDateTime(EntryText(exif.get(), EXIF_TAG_DATE_TIME));
    }
    if (!days) {
        return std::nullopt;
    }
    return TExifDate{*days, ParseExifOffset(EntryText(exif.get(), kOffsetTimeOriginal))};
}

} // namespace kestrow
