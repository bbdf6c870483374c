#include <cstdlib>

#include <gtest/gtest.h>

#include "readers/heif_picture.h"
#include "support/contacts_writer.h"
#include "support/picture_writer.h"

using namespace kestrow;
using namespace kestrow::test;

namespace {

void ExpectColour(const TRgbImage& image, int red, int green, int blue) {
    const std::size_t centre =
        (static_cast<std::size_t>(image.Height / 2) * image.Width + image.Width / 2) * 3;
    EXPECT_NEAR(image.Pixels[centre], red, 8);
    EXPECT_NEAR(image.Pixels[centre + 1], green, 8);
    EXPECT_NEAR(image.Pixels[centre + 2], blue, 8);
}

} // namespace

TEST(HeifPicture, FullSizeJpegKeepsTheExifBlockMarkedUpright) {
    const std::string tiff = ExifTiff("2021:07:14 09:30:05", 6, "+02:00");
    std::string error;
    const auto jpeg = HeifToJpeg(TestHeic(64, 48, 200, 40, 40, tiff, 32), 0, error);
    ASSERT_TRUE(jpeg) << error;
    const auto decoded = DecodeJpeg(*jpeg);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->Width, 64);
    EXPECT_EQ(decoded->Height, 48);
    ExpectColour(*decoded, 200, 40, 40);
    // The APP1 segment follows the start-of-image marker; only the orientation value changed (6 -> 1).
    std::string upright = tiff;
    upright[8 + 2 + 8] = 1;
    const std::size_t length = 2 + 6 + tiff.size();
    EXPECT_EQ(jpeg->substr(0, 4 + length),
              std::string("\xFF\xD8\xFF\xE1", 4) + static_cast<char>(length >> 8) +
                  static_cast<char>(length & 0xFF) + std::string("Exif\0\0", 6) + upright);
}

TEST(HeifPicture, ScaledFromTheEmbeddedThumbnailOrThePrimaryWithoutExif) {
    const std::string heic = TestHeic(80, 40, 20, 90, 220, ExifTiff("2020:01:01 00:00:00"), 40);
    for (const int side : {16, 60}) {
        std::string error;
        const auto jpeg = HeifToJpeg(heic, side, error);
        ASSERT_TRUE(jpeg) << error;
        EXPECT_EQ(jpeg->find("Exif"), std::string::npos);
        const auto decoded = DecodeJpeg(*jpeg);
        ASSERT_TRUE(decoded);
        EXPECT_EQ(decoded->Width, side);
        EXPECT_EQ(decoded->Height, side / 2);
        ExpectColour(*decoded, 20, 90, 220);
    }
    std::string error;
    const auto image = DecodePicture(heic, 200, error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->Width, 80); // never enlarged
    // A JPEG through TurboJPEG's scaled decoding (1/8 reaches 100 pixels), then fitted.
    const auto jpeg = DecodePicture(TestJpeg(1000, 500, 250, 128, 0), 100, error);
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->Width, 100);
    EXPECT_EQ(jpeg->Height, 50);
    ExpectColour(*jpeg, 250, 128, 0);
}

TEST(HeifPicture, HostileDataFailsWithAReason) {
    const std::string heic = TestHeic(32, 32, 0, 0, 0);
    EXPECT_TRUE(IsHeifData(heic));
    const std::string box = std::string("\0\0\0\x18", 4) + "ftyp";
    EXPECT_TRUE(IsHeifData(box + "isom" + "\0\0\0\0" + "mif1" + "heic"));
    EXPECT_FALSE(IsHeifData(box + "isom" + "heic" + "mp41" + "mp42")); // the minor version is no brand
    EXPECT_FALSE(IsHeifData(std::string("\0\0\0\x0c", 4) + "ftypheic" + "\0\0\0\0"));
    EXPECT_FALSE(IsHeifData(heic.substr(0, 15)));
    for (const std::string& data :
         {heic.substr(0, heic.size() / 2), heic.substr(0, 40), TestJpeg(8, 8, 1, 2, 3)}) {
        std::string error;
        EXPECT_FALSE(HeifToJpeg(data, 0, error));
        EXPECT_FALSE(error.empty());
        error.clear();
        EXPECT_EQ(DecodePicture(data, 64, error).has_value(), data.starts_with("\xFF\xD8"));
    }
}
