#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "readers/picture.h"

namespace kestrow {

// True when the data starts like an ISO-BMFF HEIF/HEIC/AVIF file (a `ftyp` box naming one of their brands).
bool IsHeifData(std::string_view data);

// Decodes the primary picture, turned as it is meant to be shown. maxSide > 0 scales it to fit a square of
// that side (from libheif's own thumbnail when one is at least that large). Nothing on any failure, with
// the reason in error; pictures over 64 million pixels are refused before decoding.
std::optional<TRgbImage> DecodeHeif(std::string_view heif, int maxSide, std::string& error);

// Decodes the primary picture (libheif) and encodes it as JPEG; maxSide > 0 scales it to fit (libheif's own
// thumbnail when one is large enough), keeping the EXIF block when maxSide == 0. Empty optional on any
// failure, with the reason in error. Size caps as for DecodeJpeg.
std::optional<std::string> HeifToJpeg(std::string_view heif, int maxSide, std::string& error);

// The TIFF part of the primary picture's EXIF block as stored, or empty when there is none.
std::string HeifExifTiff(std::string_view heif);

// A JPEG or HEIF picture fitted into a square of side maxSide (> 0), decoded at a reduced scale
// (TurboJPEG's scaled decoding, libheif's thumbnail) where it can. Nothing when neither decodes.
std::optional<TRgbImage> DecodePicture(std::string_view data, int maxSide, std::string& error);

// The picture scaled to fit a square of side maxSide (never enlarged).
TRgbImage FitInto(const TRgbImage& image, int maxSide);

} // namespace kestrow
