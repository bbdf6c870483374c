#pragma once

#include <optional>
#include <string_view>

namespace kestrow {

// When a picture was taken, from its EXIF block: DateTimeOriginal (else DateTime) as a local day count
// (the camera's wall clock), and OffsetTimeOriginal when the camera recorded it.
struct TExifDate {
    double Days = 0;
    std::optional<int> UtcOffset; // seconds east of UTC
};

// From JPEG data (the first APP1 "Exif" segment; the head of the file suffices), a HEIC/HEIF file's
// Exif item, or a bare "Exif\0\0"-prefixed block. Nothing when there is no well-formed date.
std::optional<TExifDate> ReadExifDate(std::string_view data);

// "YYYY:MM:DD HH:MM:SS" as a day count, and "+HH:MM" as seconds; nothing for any other text or a field
// out of range.
std::optional<double> ParseExifDateTime(std::string_view text);
std::optional<int> ParseExifOffset(std::string_view text);

} // namespace kestrow
