#include "support/photos_writer.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

#include <fmt/format.h>

#include "support/contacts_writer.h"
#include "support/picture_writer.h"
#include "support/sqlite_writer.h"

namespace kestrow::test {

namespace {

struct TSchema {
    const char* AssetTable;
    const char* Join;
    const char* AlbumColumn;
    const char* AssetColumn;
};

TSchema SchemaOf(TPhotosGeneration generation) {
    return generation == TPhotosGeneration::Asset
               ? TSchema{"ZASSET", "Z_28ASSETS", "Z_28ALBUMS", "Z_3ASSETS"}
               : TSchema{"ZGENERICASSET", "Z_26ASSETS", "Z_26ALBUMS", "Z_34ASSETS"};
}

std::string Schema(TPhotosGeneration generation) {
    const TSchema s = SchemaOf(generation);
    // The generations order their columns differently; the reader must find them by name.
    const std::string assetColumns =
        generation == TPhotosGeneration::Asset
            ? "Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZFAVORITE INTEGER, ZHIDDEN INTEGER, "
              "ZKIND INTEGER, ZKINDSUBTYPE INTEGER, ZTRASHEDSTATE INTEGER, ZHEIGHT INTEGER, ZWIDTH INTEGER, "
              "ZDATECREATED TIMESTAMP, ZDURATION FLOAT, ZLATITUDE FLOAT, ZLONGITUDE FLOAT, ZDIRECTORY "
              "VARCHAR, "
              "ZFILENAME VARCHAR, ZUUID VARCHAR"
            : "Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZKIND INTEGER, ZWIDTH INTEGER, "
              "ZHEIGHT INTEGER, ZFAVORITE INTEGER, ZHIDDEN INTEGER, ZTRASHEDSTATE INTEGER, ZFILENAME "
              "VARCHAR, "
              "ZDIRECTORY VARCHAR, ZDATECREATED TIMESTAMP, ZLATITUDE FLOAT, ZLONGITUDE FLOAT, ZDURATION "
              "FLOAT";
    return fmt::format(
        "CREATE TABLE {0} ({1});"
        "CREATE TABLE ZADDITIONALASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, "
        "Z_OPT INTEGER, ZASSET INTEGER, ZTIMEZONEOFFSET INTEGER, ZORIGINALFILENAME VARCHAR, "
        "ZTIMEZONENAME VARCHAR);"
        "CREATE TABLE ZGENERICALBUM (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
        "ZKIND INTEGER, ZTRASHEDSTATE INTEGER, ZTITLE VARCHAR);"
        "CREATE TABLE {2} ({3} INTEGER, {4} INTEGER, Z_FOK_{4} INTEGER, PRIMARY KEY ({3}, {4}));",
        s.AssetTable, assetColumns, s.Join, s.AlbumColumn, s.AssetColumn);
}

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

void WritePhotosLibrary(const std::string& path, TPhotosGeneration generation,
                        const std::vector<TTestAsset>& assets,
                        const std::vector<std::string>& trashedAlbums) {
    const TSchema s = SchemaOf(generation);
    std::string base = Schema(generation);
    std::string links;
    std::map<std::string, int> albums;
    int pk = 0;
    for (const TTestAsset& a : assets) {
        ++pk;
        base += fmt::format(
            "INSERT INTO {} (Z_PK, ZFILENAME, ZDIRECTORY, ZDATECREATED, ZLATITUDE, ZLONGITUDE, "
            "ZWIDTH, ZHEIGHT, ZDURATION, ZKIND, ZFAVORITE, ZHIDDEN, ZTRASHEDSTATE) VALUES "
            "({}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {});",
            s.AssetTable, pk, SqlText(a.FileName), SqlText(a.Directory), a.Created, a.Latitude, a.Longitude,
            a.Width, a.Height, a.Duration, a.Kind, int(a.Favorite), int(a.Hidden), a.Trashed ? 1 : 0);
        base +=
            fmt::format("INSERT INTO ZADDITIONALASSETATTRIBUTES (ZASSET, ZTIMEZONEOFFSET, ZORIGINALFILENAME) "
                        "VALUES ({}, {}, {});",
                        pk, a.ZoneOffset ? std::to_string(*a.ZoneOffset) : "NULL",
                        a.OriginalName.empty() ? "NULL" : SqlText(a.OriginalName));
        for (const std::string& title : a.Albums) {
            const auto [found, added] = albums.emplace(title, static_cast<int>(albums.size()) + 1);
            if (added) {
                const bool trashed =
                    std::find(trashedAlbums.begin(), trashedAlbums.end(), title) != trashedAlbums.end();
                base += fmt::format("INSERT INTO ZGENERICALBUM (Z_PK, ZKIND, ZTRASHEDSTATE, ZTITLE) VALUES "
                                    "({}, 2, {}, {});",
                                    found->second, trashed ? 1 : 0, SqlText(title));
            }
            links += fmt::format("INSERT INTO {} ({}, {}) VALUES ({}, {});", s.Join, s.AlbumColumn,
                                 s.AssetColumn, found->second, pk);
        }
    }
    WriteDatabaseWithWal(path, base, links.empty() ? "SELECT 1;" : links);
}

void AddDemoPhotos(const std::string& work, TDemoGeneration generation, std::vector<TTestFile>& files) {
    const auto add = [&files](const std::string& path, std::string content) {
        files.emplace_back("CameraRollDomain", "Media/" + path, std::move(content));
    };
    if (generation != TDemoGeneration::Current) {
        add("DCIM/105APPLE/IMG_0001.JPG",
            JpegWithExif(TestJpeg(48, 32, 30, 120, 200), ExifTiff("2012:04:01 12:00:00")));
        add("DCIM/105APPLE/IMG_0002.HEIC",
            TestHeic(32, 32, 200, 60, 20, ExifTiff("2012:04:02 08:15:00", 1, "-05:00")));
        add("DCIM/105APPLE/IMG_0002.MOV", "moov");
        add("DCIM/105APPLE/IMG_0003.PNG", std::string("\x89PNG\r\n\x1a\n", 8));
        return;
    }
    const double june = 707299200; // 2023-06-01 08:00:00 UTC
    WritePhotosLibrary(work + "Photos.sqlite", TPhotosGeneration::Asset,
                       {{.Directory = "DCIM/105APPLE",
                         .FileName = "IMG_0001.HEIC",
                         .OriginalName = "IMG_0001.HEIC",
                         .Created = june,
                         .ZoneOffset = 7200,
                         .Latitude = 48.8584,
                         .Longitude = 2.2945,
                         .Width = 64,
                         .Height = 48,
                         .Favorite = true,
                         .Albums = {"Holidays"}},
                        {.Directory = "DCIM/105APPLE",
                         .FileName = "IMG_0002.JPG",
                         .OriginalName = "IMG_0002.JPG",
                         .Created = june + 120600,
                         .ZoneOffset = 7200,
                         .Latitude = 45.7578,
                         .Longitude = 4.832,
                         .Width = 48,
                         .Height = 32,
                         .Hidden = true,
                         .Albums = {"Family", "Holidays"}},
                        {.Directory = "DCIM/106APPLE",
                         .FileName = "IMG_0002.JPG",
                         .OriginalName = "IMG_0002.JPG",
                         .Created = june + 200000,
                         .Trashed = true,
                         .Albums = {"Old album"}},
                        {.Directory = "DCIM/105APPLE",
                         .FileName = "IMG_0004.MOV",
                         .Created = june + 300000,
                         .Duration = 3.5,
                         .Kind = 1}},
                       {"Old album"});
    for (const char* suffix : {"", "-wal"}) {
        add(std::string("PhotoData/Photos.sqlite") + suffix, Bytes(work + "Photos.sqlite" + suffix));
    }
    add("DCIM/105APPLE/IMG_0001.HEIC",
        TestHeic(64, 48, 220, 40, 40, ExifTiff("2023:06:01 10:00:00", 6, "+02:00"), 32));
    add("DCIM/105APPLE/IMG_0001.MOV", "moov");
    add("DCIM/105APPLE/IMG_0002.JPG",
        JpegWithExif(TestJpeg(48, 32, 40, 160, 60), ExifTiff("2023:06:02 19:30:00")));
    add("DCIM/106APPLE/IMG_0002.JPG", "not a picture");
    add("DCIM/105APPLE/IMG_0005.JPG",
        JpegWithExif(TestJpeg(16, 16, 250, 250, 0), ExifTiff("2022:12:24 20:00:00")));
}

} // namespace kestrow::test
