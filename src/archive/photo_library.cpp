#include "archive/photo_library.h"

#include "readers/sqlite_database.h"

namespace kestrow {

namespace {

bool IsCameraRollKey(const std::string& key) {
    return key.starts_with("Media/DCIM/") || key.starts_with("Media/PhotoData/");
}

std::vector<TPhotoFile> CameraRollFiles(const TIpodBackup& session) {
    std::vector<TPhotoFile> files;
    for (const auto& [key, file] : session.Files()) {
        if (!file.IsApp && IsCameraRollKey(key) && IsCameraRollMedia(key)) {
            files.push_back({key, file.Size, file.ModifiedTime});
        }
    }
    return files;
}

} // namespace

bool HasPhotos(const TIpodBackup& session) {
    if (session.CurrentIndex() < 0) {
        return false;
    }
    if (session.Files().Contains(kPhotoLibraryKey)) {
        return true;
    }
    for (const auto& [key, file] : session.Files()) {
        // Pictures of the roll itself, not PhotoData's thumbnails and caches.
        if (!file.IsApp &&
            (key.starts_with("Media/DCIM/") || key.starts_with("Media/PhotoData/CPLAssets/")) &&
            IsCameraRollMedia(key)) {
            return true;
        }
    }
    return false;
}

TPhotos* LoadPhotos(TIpodBackup& session) {
    TBackupReaders& readers = session.Readers();
    if (session.CurrentIndex() < 0 || readers.State(catPhotos) != TCategoryState::NotLoaded) {
        return readers.Photos.get();
    }
    if (!HasPhotos(session)) {
        readers.SetState(catPhotos, TCategoryState::Absent);
        return nullptr;
    }
    const TPhotoFileLoader load = [&session](const std::string& key) {
        std::string data;
        const TBackupFile* file = session.Files().Find(key);
        if (file == nullptr || session.FileAccess().Load(*file, data) != 0) {
            data.clear();
        }
        return data;
    };
    std::string library;
    if (session.Files().Contains(kPhotoLibraryKey)) {
        library = session.ExtractDatabase(kPhotoLibraryKey, "photos");
        if (library.empty()) {
            session.Log().Append(std::string(kPhotoLibraryKey) + ": cannot be read out of the backup");
        }
    }
    try {
        readers.Photos =
            std::make_unique<TPhotos>(library, CameraRollFiles(session), session.TzOffset(), load);
    } catch (const ESQLiteException& e) {
        // A damaged library: the pictures are still there, dated from their own data.
        session.Log().Append(e.what());
        readers.Photos = std::make_unique<TPhotos>("", CameraRollFiles(session), session.TzOffset(), load);
    }
    readers.SetState(catPhotos, TCategoryState::Loaded);
    return readers.Photos.get();
}

} // namespace kestrow
