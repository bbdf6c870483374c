#include <map>

#include <gtest/gtest.h>

#include "platform/date_time.h"
#include "platform/temp_folder.h"
#include "readers/exif_date.h"
#include "readers/photos.h"
#include "support/contacts_writer.h"
#include "support/photos_writer.h"
#include "support/picture_writer.h"

using namespace kestrow;
using namespace kestrow::test;

namespace {

struct TRoll {
    std::vector<TPhotoFile> Files;
    std::map<std::string, std::string> Contents;

    void Add(const std::string& key, const std::string& content, std::int64_t manifestTime = 0) {
        Files.push_back({key, static_cast<std::int64_t>(content.size()), manifestTime});
        Contents[key] = content;
    }
    TPhotos Read(const std::string& library) const {
        return TPhotos(library, Files, 3600, [this](const std::string& key) { return Contents.at(key); });
    }
};

std::string Date(const TPhotoItem& item) {
    return IsoDateTimeText(item.Date, item.UtcOffset);
}

} // namespace

TEST(Photos, LibraryOfEitherGenerationWithAlbumsFlagsAndLooseFiles) {
    const double june = 707299200; // 2023-06-01 08:00:00 UTC
    const std::vector<TTestAsset> assets = {{.FileName = "IMG_0001.HEIC",
                                             .OriginalName = "Beach.HEIC",
                                             .Created = june,
                                             .ZoneOffset = 7200,
                                             .Latitude = 48.8584,
                                             .Longitude = 2.2945,
                                             .Width = 4032,
                                             .Height = 3024,
                                             .Favorite = true,
                                             .Albums = {"Holidays", "Family"}},
                                            {.Directory = "DCIM/101APPLE",
                                             .FileName = "IMG_0002.JPG",
                                             .Created = -31622400, // 2000-01-01 UTC
                                             .Latitude = 91,
                                             .Longitude = 0,
                                             .Hidden = true,
                                             .Trashed = true,
                                             .Albums = {"Old album"}},
                                            {.FileName = "IMG_0004.MOV",
                                             .Created = june + 259200,
                                             .ZoneOffset = 99999,
                                             .Duration = 3.5,
                                             .Kind = 1}};
    TRoll roll;
    roll.Add("Media/DCIM/100APPLE/IMG_0001.HEIC", "heic");
    roll.Add("Media/DCIM/100APPLE/IMG_0001.MOV", "live");
    roll.Add("Media/DCIM/101APPLE/IMG_0002.JPG", "jpeg");
    roll.Add("Media/DCIM/100APPLE/IMG_0005.JPG",
             JpegWithExif(TestJpeg(8, 8, 0, 0, 0), ExifTiff("2022:12:24 20:00:00", 1, "-05:00")));
    roll.Add("Media/DCIM/100APPLE/IMG_0006.MOV", "video", 1700000000);
    roll.Add("Media/PhotoData/Thumbnails/V2/x.JPG", "thumbnail");
    for (const auto generation : {TPhotosGeneration::Generic, TPhotosGeneration::Asset}) {
        TTempFolder work;
        WritePhotosLibrary(work.Path() + "Photos.sqlite", generation, assets, {"Old album"});
        const TPhotos photos = roll.Read(work.Path() + "Photos.sqlite");
        ASSERT_EQ(photos.Count(), 5);
        const TPhotoItem& old = photos.Item(0);
        EXPECT_EQ(old.Key, "Media/DCIM/101APPLE/IMG_0002.JPG");
        EXPECT_EQ(Date(old), "2000-01-01T01:00:00+01:00"); // before 2001, in the session's zone
        EXPECT_EQ(old.OriginalName, "IMG_0002.JPG");
        EXPECT_FALSE(old.Latitude);
        EXPECT_TRUE(old.Hidden && old.Trashed && !old.Favorite);
        EXPECT_TRUE(old.Albums.empty()); // its album is in "Recently Deleted"
        EXPECT_EQ(photos.Item(1).Key, "Media/DCIM/100APPLE/IMG_0005.JPG");
        EXPECT_EQ(Date(photos.Item(1)), "2022-12-24T20:00:00-05:00");
        EXPECT_EQ(photos.Item(1).DateSource, TPhotoDateSource::Exif);
        const TPhotoItem& beach = photos.Item(2);
        EXPECT_EQ(beach.OriginalName, "Beach.HEIC");
        EXPECT_EQ(beach.Type(), "HEIC");
        EXPECT_EQ(Date(beach), "2023-06-01T10:00:00+02:00");
        EXPECT_EQ(beach.UnixTime(), 1685606400);
        EXPECT_EQ(*beach.Latitude, 48.8584);
        EXPECT_EQ(beach.Width, 4032);
        EXPECT_EQ(beach.Albums, (std::vector<std::string>{"Family", "Holidays"}));
        EXPECT_EQ(beach.LivePhotoKey, "Media/DCIM/100APPLE/IMG_0001.MOV");
        EXPECT_TRUE(beach.InBackup && beach.Favorite);
        const TPhotoItem& missing = photos.Item(3);
        EXPECT_FALSE(missing.InBackup);
        EXPECT_TRUE(missing.IsVideo);
        EXPECT_EQ(missing.Duration, 3.5);
        EXPECT_EQ(Date(missing), "2023-06-04T09:00:00+01:00"); // an impossible zone offset is not taken
        EXPECT_EQ(Date(photos.Item(4)), "2023-11-14T23:13:20+01:00");
        EXPECT_EQ(photos.Item(4).DateSource, TPhotoDateSource::Manifest);
        EXPECT_EQ(photos.Albums(), (std::vector<std::string>{"Family", "Holidays"}));
    }
}

TEST(Photos, WithoutLibraryDatesComeFromExifThenTheManifest) {
    TRoll roll;
    roll.Add("Media/DCIM/100APPLE/IMG_0002.HEIC",
             TestHeic(16, 16, 1, 2, 3, ExifTiff("2012:04:02 08:15:00", 1, "+05:30")));
    roll.Add("Media/DCIM/100APPLE/IMG_0002.MOV", "live");
    roll.Add("Media/DCIM/100APPLE/IMG_0003.PNG", "png");
    std::string cut = JpegWithExif(TestJpeg(8, 8, 0, 0, 0), ExifTiff("2011:01:01 00:00:00"));
    roll.Add("Media/DCIM/100APPLE/IMG_0004.JPG", cut.substr(0, 40), 1300000000); // EXIF cut short
    roll.Add("Media/DCIM/100APPLE/IMG_0005.JPG",
             JpegWithExif(TestJpeg(8, 8, 0, 0, 0), ExifTiff("0000:00:00 00:00:00")));
    const TPhotos photos = roll.Read("");
    ASSERT_EQ(photos.Count(), 4);
    EXPECT_EQ(photos.Item(0).Key, "Media/DCIM/100APPLE/IMG_0004.JPG");
    EXPECT_EQ(Date(photos.Item(0)), "2011-03-13T08:06:40+01:00");
    EXPECT_EQ(Date(photos.Item(1)), "2012-04-02T08:15:00+05:30");
    EXPECT_EQ(photos.Item(1).LivePhotoKey, "Media/DCIM/100APPLE/IMG_0002.MOV");
    EXPECT_EQ(photos.Item(2).Date, 0); // undated last, in key order
    EXPECT_EQ(photos.Item(2).Key, "Media/DCIM/100APPLE/IMG_0003.PNG");
    EXPECT_EQ(photos.Item(3).DateSource, TPhotoDateSource::None);
    for (const char* bad :
         {"2023:13:01 00:00:00", "2023:06:01 24:00:00", "2023:06:01 10:00", "2023-06-01 10:00:00"}) {
        EXPECT_FALSE(ParseExifDateTime(bad)) << bad;
    }
    EXPECT_EQ(ParseExifOffset("-00:30"), -1800);
    EXPECT_FALSE(ParseExifOffset("+15:00"));
}
