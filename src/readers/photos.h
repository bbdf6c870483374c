#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace kestrow {

// A file of the camera roll as the backup lists it.
struct TPhotoFile {
    std::string Key;               // the file's table key, "Media/DCIM/100APPLE/IMG_0001.JPG"
    std::int64_t Size = 0;         // recorded size
    std::int64_t ManifestTime = 0; // modification time the manifest records (Unix seconds), 0 when unknown
};

// Where an item's date came from.
enum class TPhotoDateSource : std::uint8_t { None, Library, Exif, Manifest };

// One picture or video.
struct TPhotoItem {
    std::string Key;          // table key of its file; the file may be missing from the backup
    bool InBackup = false;    // the backup holds the file
    std::string OriginalName; // the name it had when taken ("IMG_0001.HEIC"), else its file name
    std::int64_t Size = 0;
    double Date = 0;   // local day count at the place and zone it was taken; 0 when none
    int UtcOffset = 0; // the zone the date is in, seconds east of UTC
    TPhotoDateSource DateSource = TPhotoDateSource::None;
    std::optional<double> Latitude;
    std::optional<double> Longitude;
    int Width = 0;
    int Height = 0;
    double Duration = 0; // seconds, videos
    bool IsVideo = false;
    bool Favorite = false;
    bool Hidden = false;
    bool Trashed = false; // in "Recently Deleted"
    std::vector<std::string> Albums;
    std::string LivePhotoKey; // the video half of a Live Photo

    // The upper-case extension of the file ("HEIC"), empty when it has none.
    std::string Type() const;
    // Unix seconds of the moment taken (for file times); 0 without a date.
    std::int64_t UnixTime() const;
};

// Reads a file of the backup whole; empty when it cannot.
using TPhotoFileLoader = std::function<std::string(const std::string& key)>;

// The camera roll: with Photos.sqlite (`library`, empty when the backup has none) every asset of ZASSET
// (ZGENERICASSET before iOS 14) with its albums, then every picture or video file the library does not
// name; without it every such file, dated by its EXIF block (read through `load`), else by the manifest.
// The video half of a Live Photo (same folder and name, .MOV) joins its picture. Items are in date
// order, undated ones last. Database errors raise ESQLiteException.
class TPhotos {
public:
    TPhotos(const std::string& library, std::vector<TPhotoFile> files, int utcOffset,
            const TPhotoFileLoader& load);

    int Count() const { return static_cast<int>(FItems.size()); }
    const TPhotoItem& Item(int index) const { return FItems.at(static_cast<std::size_t>(index)); }
    // Every album title of the items, sorted.
    std::vector<std::string> Albums() const;

private:
    void ReadLibrary(const std::string& library);
    void AddLooseFiles(const TPhotoFileLoader& load);
    void PairLivePhotos();

    int FUtcOffset = 0;
    std::vector<TPhotoFile> FFiles;
    std::unordered_set<std::string> FClaimed; // files a library asset names
    std::unordered_set<std::string> FLoose;   // items made from files alone
    std::vector<TPhotoItem> FItems;
};

// Whether a file name's extension is one of a picture or a video the camera roll keeps.
bool IsCameraRollMedia(const std::string& name);

} // namespace kestrow
