#pragma once

#include <functional>

#include "ui/category_view.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListView;

namespace kestrow {

class TPhotoGridModel;
class TPhotos;

// Photos: the camera roll as a grid of thumbnails grouped by month, newest first, with a filter
// (everything shown on the phone, one album, hidden, recently deleted) and a preview of the chosen
// picture with its date, place and size. Double click opens the file with the default application.
class TPhotoFrm : public TCategoryView {
    Q_OBJECT
public:
    TPhotoFrm(TIpodBackup& session, QWidget* parent);

    bool FindNext(const QString& text) override;
    std::optional<TExportJob> PrepareExport() override;

    QListView* Grid() const { return FGrid; }
    TPhotoGridModel* Model() const { return FModel; }
    QComboBox* FilterCb() const { return FFilterCb; }
    QCheckBox* ByMonthCb() const { return FByMonthCb; }
    QLabel* PictureLb() const { return FPictureLb; }
    QLabel* InfoLb() const { return FInfoLb; }
    // Opens an extracted file with the default application; tests replace it.
    std::function<void(const QString& path)> OpenFile;

private:
    void ApplyFilter();
    void Preview(int record);
    void Open(int record);
    std::vector<int> SelectedRecords() const;

    const TPhotos* FPhotos = nullptr;
    TPhotoGridModel* FModel = nullptr;
    QListView* FGrid = nullptr;
    QComboBox* FFilterCb = nullptr;
    QCheckBox* FByMonthCb = nullptr;
    QLabel* FPictureLb = nullptr;
    QLabel* FInfoLb = nullptr;
    int FShown = -1;
};

} // namespace kestrow
