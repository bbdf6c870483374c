#include "photo_bench_backup.h"

#include "platform/file_io.h"
#include "platform/temp_folder.h"
#include "support/backup_writer.h"
#include "support/photos_writer.h"

namespace kestrow::bench {

void WritePhotoRollBackup(const std::string& root, int count,
                          const std::function<std::string(int)>& content) {
    const TTempFolder work;
    std::vector<test::TTestAsset> assets;
    test::TBackupPlan plan;
    plan.FolderName = "roll";
    plan.Layout = test::TLayout::ManifestDb;
    for (int i = 0; i < count; ++i) {
        const std::string folder = "DCIM/" + std::to_string(100 + i / 1000) + "APPLE";
        const std::string name = "IMG_" + std::to_string(i) + (i % 2 == 0 ? ".HEIC" : ".JPG");
        assets.push_back({.Directory = folder,
                          .FileName = name,
                          .OriginalName = name,
                          .Created = 600000000.0 + i * 3600.0,
                          .ZoneOffset = 3600,
                          .Latitude = 47.0,
                          .Longitude = 8.0,
                          .Width = 4032,
                          .Height = 3024,
                          .Albums = i % 10 == 0 ? std::vector<std::string>{"Album " + std::to_string(i % 7)}
                                                : std::vector<std::string>{}});
        plan.Files.emplace_back("CameraRollDomain", "Media/" + folder + "/" + name, content(i));
    }
    test::WritePhotosLibrary(work.Path() + "Photos.sqlite", test::TPhotosGeneration::Asset, assets);
    for (const char* suffix : {"", "-wal"}) {
        std::string bytes;
        ReadWholeFile(work.Path() + "Photos.sqlite" + suffix, bytes);
        plan.Files.emplace_back("CameraRollDomain", std::string("Media/PhotoData/Photos.sqlite") + suffix,
                                bytes);
    }
    test::WriteBackup(root, plan);
}

} // namespace kestrow::bench
