#pragma once

#include <string>

namespace kestrow::test {

// A TIFF-structured EXIF body (no "Exif\0\0" prefix): IFD0 with an orientation, an EXIF IFD with
// DateTimeOriginal ("YYYY:MM:DD HH:MM:SS") and, when given, OffsetTimeOriginal ("+02:00").
std::string ExifTiff(const std::string& dateTimeOriginal, int orientation = 1,
                     const std::string& offset = "");

// The JPEG with an APP1 "Exif" segment after its start-of-image marker.
std::string JpegWithExif(const std::string& jpeg, const std::string& exifTiff);

// A one-colour HEIC made with libheif's encoder, with the EXIF body attached and, when thumbnailSide > 0,
// an embedded thumbnail of that longer side.
std::string TestHeic(int width, int height, unsigned char red, unsigned char green, unsigned char blue,
                     const std::string& exifTiff = "", int thumbnailSide = 0);

} // namespace kestrow::test
