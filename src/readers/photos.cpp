#include "readers/photos.h"

#include <algorithm>
#include <cmath>
#include <regex>
#include <set>
#include <unordered_map>

#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/exif_date.h"
#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

constexpr int kMaxZoneOffset = 14 * 3600;

std::string Extension(const std::string& name) {
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension;
}

bool IsVideoExtension(const std::string& extension) {
    return extension == "MOV" || extension == "MP4" || extension == "M4V" || extension == "3GP";
}

// Files the camera roll keeps originals in (PhotoData also holds thumbnails and caches: not pictures of the
// roll).
bool InCameraRoll(const std::string& key) {
    return key.starts_with("Media/DCIM/") || key.starts_with("Media/PhotoData/CPLAssets/");
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A selected column, or NULL under the same name when this generation of the table lacks it.
std::string Column(const std::vector<std::string>& columns, const std::string& table,
                   const std::string& name) {
    return (Contains(columns, name) ? table + "." + name : "NULL") + " AS " + name;
}

// Seconds since 2001 in the given zone as a day count; negative values are pictures from before 2001.
double LibraryDate(const TSQLiteTable& table, int column, int utcOffset) {
    const double seconds = table.FieldAsDouble(column);
    if (table.FieldIsNull(column) || !std::isfinite(seconds) || std::fabs(seconds) > 1e11) {
        return 0;
    }
    return kDeviceEpochDays + (seconds + utcOffset) / kSecondsPerDay;
}

void ReadPlace(const TSQLiteTable& table, int latitude, int longitude, TPhotoItem& item) {
    if (table.FieldIsNull(latitude) || table.FieldIsNull(longitude)) {
        return;
    }
    const double lat = table.FieldAsDouble(latitude);
    const double lon = table.FieldAsDouble(longitude);
    // -180/-180 marks "no place"; anything out of range is no place either.
    if (std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90 && std::fabs(lon) <= 180) {
        item.Latitude = lat;
        item.Longitude = lon;
    }
}

int ClampedInt(const TSQLiteTable& table, int column) {
    return static_cast<int>(std::clamp<std::int64_t>(table.FieldAsInteger(column), 0, 1 << 30));
}

// The album join table (its name and columns move between versions: Z_26ASSETS with Z_26ALBUMS and
// Z_3ASSETS, Z_28ASSETS with Z_28ALBUMS and Z_3ASSETS, ...): table, album column, asset column.
std::optional<std::array<std::string, 3>> AlbumJoin(TSQLiteDatabase& db) {
    static const std::regex kTable("Z_[0-9]+ASSETS");
    static const std::regex kAlbums("Z_[0-9]+ALBUMS");
    const auto tables = db.GetTable("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    for (; !tables->Eof(); tables->Next()) {
        std::string name = tables->FieldAsString(0);
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (!std::regex_match(name, kTable)) {
            continue;
        }
        std::string albums;
        std::string assets;
        for (const std::string& column : db.ColumnNames(name)) {
            if (std::regex_match(column, kAlbums)) {
                albums = column;
            } else if (std::regex_match(column, kTable)) {
                assets = column;
            }
        }
        if (!albums.empty() && !assets.empty()) {
            return std::array<std::string, 3>{name, albums, assets};
        }
    }
    return std::nullopt;
}

void ReadAlbums(TSQLiteDatabase& db, const std::unordered_map<std::int64_t, std::size_t>& byPk,
                std::vector<TPhotoItem>& items) {
    const auto join = AlbumJoin(db);
    const std::vector<std::string> albumColumns = db.ColumnNames("ZGENERICALBUM");
    if (!join || !Contains(albumColumns, "Z_PK") || !Contains(albumColumns, "ZTITLE")) {
        return;
    }
    const auto& [table, albums, assets] = *join;
    const std::string notTrashed =
        Contains(albumColumns, "ZTRASHEDSTATE") ? " AND IFNULL(g.ZTRASHEDSTATE, 0) = 0" : "";
    const auto rows = db.GetTable("SELECT j." + assets + ", g.ZTITLE FROM " + table +
                                  " j JOIN ZGENERICALBUM g ON g.Z_PK = j." + albums +
                                  " WHERE IFNULL(g.ZTITLE, '') <> ''" + notTrashed + " ORDER BY g.ZTITLE");
    for (; !rows->Eof(); rows->Next()) {
        const auto found = byPk.find(rows->FieldAsInteger(0));
        if (found != byPk.end()) {
            items[found->second].Albums.push_back(rows->FieldAsString(1));
        }
    }
}

} // namespace

std::string TPhotoItem::Type() const {
    return Extension(Key);
}

std::int64_t TPhotoItem::UnixTime() const {
    return Date == 0 ? 0 : std::llround((Date - kUnixEpochDays) * kSecondsPerDay) - UtcOffset;
}

bool IsCameraRollMedia(const std::string& name) {
    static const std::set<std::string> kExtensions = {"JPG",  "JPEG", "HEIC", "HEIF", "PNG",
                                                      "GIF",  "TIF",  "TIFF", "DNG",  "WEBP",
                                                      "AVIF", "MOV",  "MP4",  "M4V",  "3GP"};
    return kExtensions.contains(Extension(name));
}

TPhotos::TPhotos(const std::string& library, std::vector<TPhotoFile> files, int utcOffset,
                 const TPhotoFileLoader& load)
    : FUtcOffset(utcOffset), FFiles(std::move(files)) {
    if (!library.empty() && FileExists(library)) {
        ReadLibrary(library);
    }
    AddLooseFiles(load);
    PairLivePhotos();
    std::stable_sort(FItems.begin(), FItems.end(), [](const TPhotoItem& a, const TPhotoItem& b) {
        if ((a.Date == 0) != (b.Date == 0)) {
            return b.Date == 0;
        }
        return a.Date != b.Date ? a.Date < b.Date : a.Key < b.Key;
    });
}

void TPhotos::ReadLibrary(const std::string& library) {
    const auto db = OpenDeviceDatabase(library);
    const std::string table = db->TableExists("ZASSET") ? "ZASSET" : "ZGENERICASSET";
    const std::vector<std::string> columns = db->ColumnNames(table);
    if (!Contains(columns, "Z_PK") || !Contains(columns, "ZFILENAME")) {
        throw ESQLiteException("Photos.sqlite: no asset table with file names");
    }
    std::string select = "SELECT a.Z_PK";
    for (const char* name : {"ZDIRECTORY", "ZFILENAME", "ZDATECREATED", "ZLATITUDE", "ZLONGITUDE", "ZWIDTH",
                             "ZHEIGHT", "ZDURATION", "ZKIND", "ZFAVORITE", "ZHIDDEN", "ZTRASHEDSTATE"}) {
        select += ", " + Column(columns, "a", name);
    }
    const std::vector<std::string> extra = db->ColumnNames("ZADDITIONALASSETATTRIBUTES");
    const bool joined = Contains(extra, "ZASSET");
    for (const char* name : {"ZORIGINALFILENAME", "ZTIMEZONEOFFSET"}) {
        select += ", " + (joined ? Column(extra, "x", name) : std::string("NULL AS ") + name);
    }
    select += " FROM " + table + " a";
    if (joined) {
        select += " LEFT JOIN ZADDITIONALASSETATTRIBUTES x ON x.ZASSET = a.Z_PK";
    }
    std::unordered_map<std::string, std::size_t> fileByKey;
    for (std::size_t i = 0; i < FFiles.size(); ++i) {
        fileByKey.emplace(FFiles[i].Key, i);
    }
    std::unordered_map<std::int64_t, std::size_t> byPk;
    const auto rows = db->GetTable(select + " ORDER BY a.Z_PK");
    for (; !rows->Eof(); rows->Next()) {
        TPhotoItem item;
        const std::string folder = rows->FieldAsString(1);
        const std::string name = rows->FieldAsString(2);
        item.Key = "Media/" + (folder.empty() ? name : folder + "/" + name);
        const auto file = fileByKey.find(item.Key);
        item.InBackup = file != fileByKey.end();
        if (item.InBackup) {
            item.Size = FFiles[file->second].Size;
            FClaimed.insert(item.Key);
        }
        const std::string original = rows->FieldAsString(13);
        item.OriginalName = original.empty() ? name : original;
        const std::int64_t offset = rows->FieldAsInteger(14);
        item.UtcOffset = !rows->FieldIsNull(14) && std::llabs(offset) <= kMaxZoneOffset
                             ? static_cast<int>(offset)
                             : FUtcOffset;
        item.Date = LibraryDate(*rows, 3, item.UtcOffset);
        item.DateSource = item.Date == 0 ? TPhotoDateSource::None : TPhotoDateSource::Library;
        ReadPlace(*rows, 4, 5, item);
        item.Width = ClampedInt(*rows, 6);
        item.Height = ClampedInt(*rows, 7);
        const double duration = rows->FieldAsDouble(8);
        item.Duration = std::isfinite(duration) && duration > 0 ? duration : 0;
        item.IsVideo = rows->FieldAsInteger(9) == 1 || IsVideoExtension(Extension(name));
        item.Favorite = rows->FieldAsInteger(10) != 0;
        item.Hidden = rows->FieldAsInteger(11) != 0;
        item.Trashed = rows->FieldAsInteger(12) != 0;
        byPk.emplace(rows->FieldAsInteger(0), FItems.size());
        FItems.push_back(std::move(item));
    }
    ReadAlbums(*db, byPk, FItems);
}

void TPhotos::AddLooseFiles(const TPhotoFileLoader& load) {
    for (const TPhotoFile& file : FFiles) {
        if (!InCameraRoll(file.Key) || !IsCameraRollMedia(file.Key) || FClaimed.contains(file.Key)) {
            continue;
        }
        TPhotoItem item;
        item.Key = file.Key;
        item.InBackup = true;
        item.OriginalName = LastPathComponent(file.Key);
        item.Size = file.Size;
        item.IsVideo = IsVideoExtension(Extension(file.Key));
        item.UtcOffset = FUtcOffset;
        const auto exif = item.IsVideo || !load ? std::nullopt : ReadExifDate(load(file.Key));
        if (exif) {
            item.Date = exif->Days;
            item.UtcOffset = exif->UtcOffset.value_or(FUtcOffset);
            item.DateSource = TPhotoDateSource::Exif;
        } else if (file.ManifestTime > 0) {
            item.Date = kUnixEpochDays + static_cast<double>(file.ManifestTime + FUtcOffset) / kSecondsPerDay;
            item.DateSource = TPhotoDateSource::Manifest;
        }
        FLoose.insert(item.Key);
        FItems.push_back(std::move(item));
    }
}

void TPhotos::PairLivePhotos() {
    // Videos that are files only (no library asset of their own) may be the moving half of a picture.
    std::unordered_map<std::string, std::size_t> looseVideos;
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (FItems[i].IsVideo && FLoose.contains(FItems[i].Key)) {
            looseVideos.emplace(FItems[i].Key, i);
        }
    }
    std::vector<bool> joined(FItems.size(), false);
    for (TPhotoItem& item : FItems) {
        const std::size_t dot = item.Key.rfind('.');
        if (item.IsVideo || dot == std::string::npos) {
            continue;
        }
        for (const char* extension : {".MOV", ".mov"}) {
            const auto video = looseVideos.find(item.Key.substr(0, dot) + extension);
            if (video != looseVideos.end() && !joined[video->second]) {
                item.LivePhotoKey = video->first;
                joined[video->second] = true;
                break;
            }
        }
    }
    std::vector<TPhotoItem> kept;
    kept.reserve(FItems.size());
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if (!joined[i]) {
            kept.push_back(std::move(FItems[i]));
        }
    }
    FItems = std::move(kept);
}

std::vector<std::string> TPhotos::Albums() const {
    std::set<std::string> titles;
    for (const TPhotoItem& item : FItems) {
        titles.insert(item.Albums.begin(), item.Albums.end());
    }
    return {titles.begin(), titles.end()};
}

} // namespace kestrow
