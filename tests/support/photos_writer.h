#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/backup_writer.h"
#include "support/demo_data.h"

namespace kestrow::test {

// One asset of Photos.sqlite.
struct TTestAsset {
    std::string Directory = "DCIM/100APPLE";
    std::string FileName;
    std::string OriginalName;      // ZADDITIONALASSETATTRIBUTES.ZORIGINALFILENAME; empty: NULL
    double Created = 0;            // seconds since 2001 UTC
    std::optional<int> ZoneOffset; // ZTIMEZONEOFFSET
    double Latitude = -180;        // -180/-180: no place, as the device writes it
    double Longitude = -180;
    int Width = 0;
    int Height = 0;
    double Duration = 0;
    int Kind = 0; // 1: video
    bool Favorite = false;
    bool Hidden = false;
    bool Trashed = false;
    std::vector<std::string> Albums;
};

enum class TPhotosGeneration {
    Generic, // iOS 13: ZGENERICASSET, albums joined through Z_26ASSETS (Z_26ALBUMS, Z_34ASSETS)
    Asset,   // iOS 16: ZASSET, albums joined through Z_28ASSETS (Z_28ALBUMS, Z_3ASSETS)
};

// Photos.sqlite at `path`: the assets in the main file, the album links in a live WAL beside it. Every
// title in `trashedAlbums` is an album in "Recently Deleted".
void WritePhotosLibrary(const std::string& path, TPhotosGeneration generation,
                        const std::vector<TTestAsset>& assets,
                        const std::vector<std::string>& trashedAlbums = {});

// A small camera roll in CameraRollDomain. Current: Photos.sqlite (ZASSET) with a HEIC Live Photo, a hidden
// JPEG in two albums, a trashed JPEG that does not decode, a video missing from the backup, and a JPEG the
// library does not name. Older generations: files only (EXIF dates; an undated PNG).
void AddDemoPhotos(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files);

} // namespace kestrow::test
