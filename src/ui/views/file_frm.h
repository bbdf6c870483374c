#pragma once

#include <cstdint>

#include "ui/category_view.h"

class QCheckBox;
class QComboBox;
class QLabel;

namespace kestrow {

class TRowModel;

// The files of the backup by key, filtered by extension and by whether they belong to an
// application, with a picture preview, the type and the size of the selection.
class TFileFrm : public TCategoryView {
    Q_OBJECT
public:
    TFileFrm(TIpodBackup& session, QWidget* parent);

    bool Matches(int record, const QString& key) const override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FFileLst; }
    int Refill();
    void FileClicked(int row);

    QComboBox* FilterCb() const { return FFilterCb; }
    QCheckBox* AppCb() const { return FAppCb; }
    QLabel* InfoLb() const { return FInfoLb; }
    QLabel* ViewImg() const { return FViewImg; }

private:
    std::int64_t ContentSize(int record) const;
    void Preview(int record);
    const std::string& Key(int record) const;

    TListView* FFileLst = nullptr;
    TRowModel* FModel = nullptr;
    QLabel* FViewImg = nullptr;
    QLabel* FInfoLb = nullptr;
    QCheckBox* FAppCb = nullptr;
    QComboBox* FFilterCb = nullptr;
};

// The size of a selection: empty for 0, else KB below 1,048,576 bytes, MB up to 1,073,741,824,
// then GB, always with two decimals and ".".
QString SizeText(std::int64_t size);

} // namespace kestrow
