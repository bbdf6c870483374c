// The demo camera roll of a current phone in an encrypted backup, exported as originals and as JPEGs.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "archive/photo_library.h"
#include "export/photos_export.h"
#include "platform/temp_folder.h"
#include "readers/exif_date.h"
#include "readers/heif_picture.h"
#include "support/file_tree.h"
#include "support/fixed_zone.h"
#include "support/photos_writer.h"

namespace kestrow {
namespace {

std::int64_t ModificationTime(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mtime : -1;
}

class PhotosExport : public ::testing::Test {
protected:
    void SetUp() override {
        test::TBackupPlan plan;
        plan.FolderName = "phone";
        plan.Encrypted = true;
        plan.Password = "pw";
        plan.Layout = test::TLayout::ManifestDb;
        test::AddDemoPhotos(FWork.Path(), test::TDemoGeneration::Current, plan.Files);
        test::WriteBackup(FRoot.Path(), plan);
        FSession = std::make_unique<TIpodBackup>(FRoot.Path());
        ASSERT_EQ(FSession->SelectBackup(0, "pw"), osOpened);
        ASSERT_NE(LoadPhotos(*FSession), nullptr);
        ASSERT_EQ(LoadPhotos(*FSession)->Count(), 5);
    }

    test::TFixedZone FZone{"UTC"};
    TTempFolder FWork;
    TTempFolder FRoot;
    TTempFolder FOut;
    std::unique_ptr<TIpodBackup> FSession;
};

TEST_F(PhotosExport, OriginalsByOriginalNameWithLiveVideoAndCaptureTimes) {
    const TExportResult result = ExportPhotos(*FSession, {0, 1, 2, 3, 4}, 0, FOut.Path(), false);
    EXPECT_EQ(result.Count, 4);
    ASSERT_EQ(result.Failures.size(), 1u);
    EXPECT_EQ(result.Failures[0].Target, FOut.Path() + "IMG_0004.MOV");
    EXPECT_EQ(result.Failures[0].Error, ENOENT);
    EXPECT_EQ(test::NamesBelow(FOut.Path()),
              (std::vector<std::string>{"IMG_0001.HEIC", "IMG_0001.MOV", "IMG_0002.JPG", "IMG_0002_1.JPG",
                                        "IMG_0005.JPG"}));
    EXPECT_EQ(test::FileText(FOut.Path() + "IMG_0002_1.JPG"), "not a picture");
    EXPECT_EQ(ModificationTime(FOut.Path() + "IMG_0001.HEIC"), 1685606400); // 2023-06-01 10:00 +02:00
    EXPECT_EQ(ModificationTime(FOut.Path() + "IMG_0001.MOV"), 1685606400);
    EXPECT_EQ(ModificationTime(FOut.Path() + "IMG_0005.JPG"),
              1671912000); // EXIF 2022-12-24 20:00, session UTC
}

TEST_F(PhotosExport, JpegsByMonthKeepTheirExifDate) {
    const TExportResult result = ExportPhotos(*FSession, {0, 1, 3}, 1, FOut.Path(), true);
    EXPECT_EQ(result.Count, 3);
    EXPECT_TRUE(result.Failures.empty());
    EXPECT_EQ(test::NamesBelow(FOut.Path()),
              (std::vector<std::string>{"2022", "2022/12", "2022/12/IMG_0005.JPG", "2023", "2023/06",
                                        "2023/06/IMG_0001.jpg", "2023/06/IMG_0002.JPG"}));
    const std::string jpeg = test::FileText(FOut.Path() + "2023/06/IMG_0001.jpg");
    const auto picture = DecodeJpeg(jpeg);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width, 64);
    const auto date = ReadExifDate(jpeg);
    ASSERT_TRUE(date);
    EXPECT_EQ(date->UtcOffset, 7200);
    EXPECT_EQ(ModificationTime(FOut.Path() + "2023/06/IMG_0001.jpg"), 1685606400);
}

TEST(PhotosExportNames, NamesFromTheLibraryStayInsideTheFolder) {
    const TTempFolder work;
    const TTempFolder root;
    const TTempFolder out;
    test::WritePhotosLibrary(work.Path() + "Photos.sqlite", test::TPhotosGeneration::Asset,
                             {{.FileName = "A.JPG", .OriginalName = "x./../evil"},
                              {.FileName = "B.JPG", .OriginalName = "../b.JPG"}});
    test::TBackupPlan plan;
    plan.FolderName = "phone";
    for (const char* name : {"Photos.sqlite", "Photos.sqlite-wal"}) {
        plan.Files.emplace_back("CameraRollDomain", std::string("Media/PhotoData/") + name,
                                test::FileText(work.Path() + name));
    }
    plan.Files.emplace_back("CameraRollDomain", "Media/DCIM/100APPLE/A.JPG", "a");
    plan.Files.emplace_back("CameraRollDomain", "Media/DCIM/100APPLE/B.JPG", "b");
    test::WriteBackup(root.Path(), plan);
    TIpodBackup session(root.Path());
    ASSERT_EQ(session.SelectBackup(0, ""), osOpened);
    EXPECT_EQ(ExportPhotos(session, {0, 1}, 0, out.Path(), false).Count, 2);
    EXPECT_EQ(test::NamesBelow(out.Path()), (std::vector<std::string>{".._b.JPG", "x._.._evil"}));
}

} // namespace
} // namespace kestrow
