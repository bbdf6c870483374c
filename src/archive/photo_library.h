#pragma once

#include "archive/ipod_backup.h"
#include "readers/photos.h"

namespace kestrow {

// The key of the camera roll's library database.
inline constexpr const char* kPhotoLibraryKey = "Media/PhotoData/Photos.sqlite";

// Whether the open backup holds a picture or video of the camera roll, or its library.
bool HasPhotos(const TIpodBackup& session);

// The camera roll of the open backup, read on first use into the session's readers (category catPhotos).
// A library that cannot be read is logged and the files are listed without it; null (Absent) when the
// backup has no camera roll.
TPhotos* LoadPhotos(TIpodBackup& session);

} // namespace kestrow
