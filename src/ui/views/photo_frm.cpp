#include "ui/views/photo_frm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QSplitter>
#include <QUrl>
#include <QVBoxLayout>

#include "archive/photo_library.h"
#include "export/export_formats.h"
#include "export/photos_export.h"
#include "platform/date_time.h"
#include "ui/export_form.h"
#include "ui/qt_text.h"
#include "ui/views/file_frm.h"
#include "ui/views/photo_grid.h"

namespace kestrow {

namespace {

constexpr int kPreviewSide = 1024;

// The name, date, place, pixel size, a video's label ("▶ 0:12") and the file's size.
QString InfoText(const TPhotoItem& item, const QString& videoLabel) {
    QString text = ToQString(item.OriginalName);
    text +=
        QLatin1Char('\n') + (item.Date == 0 ? QStringLiteral("No date") : ToQString(DateTimeText(item.Date)));
    if (item.Latitude && item.Longitude) {
        text += QLatin1Char('\n') + QString::number(*item.Latitude, 'f', 5) + QStringLiteral(", ") +
                QString::number(*item.Longitude, 'f', 5);
    }
    if (item.Width > 0 && item.Height > 0) {
        text += QLatin1Char('\n') + QStringLiteral("%1 x %2").arg(item.Width).arg(item.Height);
    }
    if (item.IsVideo) {
        text += QLatin1Char('\n') + videoLabel;
    }
    text += QLatin1Char('\n') + (item.InBackup ? SizeText(item.Size) : QStringLiteral("Not in the backup"));
    return text;
}

} // namespace

TPhotoFrm::TPhotoFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    setObjectName(QStringLiteral("PhotoFrm"));
    FPhotos = LoadPhotos(session);
    static const TPhotos kNone("", {}, 0, {});
    FModel = new TPhotoGridModel(session, FPhotos != nullptr ? *FPhotos : kNone, this);

    FFilterCb = new QComboBox(this);
    FFilterCb->addItem(QStringLiteral("All pictures"));
    for (const std::string& album : (FPhotos != nullptr ? FPhotos->Albums() : std::vector<std::string>{})) {
        FFilterCb->addItem(QStringLiteral("Album: ") + ToQString(album), ToQString(album));
    }
    FFilterCb->addItem(QStringLiteral("Hidden"));
    FFilterCb->addItem(QStringLiteral("Recently Deleted"));
    FByMonthCb = new QCheckBox(QStringLiteral("Export into folders by month"), this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(FFilterCb);
    bar->addStretch(1);
    bar->addWidget(FByMonthCb);

    FGrid = new QListView(this);
    FGrid->setObjectName(QStringLiteral("PhotoGrid"));
    FGrid->setViewMode(QListView::IconMode);
    FGrid->setMovement(QListView::Static);
    FGrid->setResizeMode(QListView::Adjust);
    FGrid->setLayoutMode(QListView::Batched);
    FGrid->setBatchSize(2000);
    FGrid->setWrapping(true);
    FGrid->setSpacing(2);
    FGrid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FGrid->setModel(FModel);
    FGrid->setItemDelegate(new TPhotoDelegate(FModel, FGrid));
    connect(FGrid->verticalScrollBar(), &QScrollBar::valueChanged, FModel, &TPhotoGridModel::DropPending);
    connect(FGrid->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { Preview(FModel->RecordAt(current.row())); });
    connect(FGrid, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { Open(FModel->RecordAt(index.row())); });

    FPictureLb = new QLabel(this);
    FPictureLb->setObjectName(QStringLiteral("PhotoPicture"));
    FPictureLb->setAlignment(Qt::AlignCenter);
    FPictureLb->setMinimumSize(240, 240);
    FInfoLb = new QLabel(this);
    FInfoLb->setObjectName(QStringLiteral("PhotoInfo"));
    FInfoLb->setTextFormat(Qt::PlainText);
    FInfoLb->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* pane = new QWidget(this);
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->addWidget(FPictureLb, 1);
    paneLayout->addWidget(FInfoLb);
    auto* splitter = new QSplitter(this);
    splitter->addWidget(FGrid);
    splitter->addWidget(pane);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(splitter, 1);
    connect(FFilterCb, &QComboBox::currentIndexChanged, this, &TPhotoFrm::ApplyFilter);
    OpenFile = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
}

void TPhotoFrm::ApplyFilter() {
    const int chosen = FFilterCb->currentIndex();
    TPhotoFilter filter;
    if (chosen == FFilterCb->count() - 1) {
        filter.Kind = TPhotoFilter::Deleted;
    } else if (chosen == FFilterCb->count() - 2) {
        filter.Kind = TPhotoFilter::Hidden;
    } else if (chosen > 0) {
        filter.Kind = TPhotoFilter::Album;
        filter.AlbumTitle = FFilterCb->currentData().toString();
    }
    FModel->DropPending();
    FModel->SetFilter(filter);
}

void TPhotoFrm::Preview(int record) {
    FShown = record;
    FPictureLb->clear();
    if (record < 0) {
        FInfoLb->clear();
        return;
    }
    const TPhotoItem& item = FModel->Item(record);
    FInfoLb->setText(InfoText(item, FModel->VideoLabel(record)));
    if (!item.InBackup) {
        FPictureLb->setText(QStringLiteral("Not in the backup"));
        return;
    }
    if (item.IsVideo) {
        FPictureLb->setText(QStringLiteral("Video")); // until its first frame comes, if it does
    }
    FModel->Decode(record, kPreviewSide, true, [this, record, video = item.IsVideo](const QImage& image) {
        if (record != FShown) {
            return;
        }
        if (video) { // the player may have found its duration
            FInfoLb->setText(InfoText(FModel->Item(record), FModel->VideoLabel(record)));
        }
        if (image.isNull()) {
            FPictureLb->setText(video ? QStringLiteral("Video") : QStringLiteral("Cannot show this picture"));
            return;
        }
        FPictureLb->setPixmap(QPixmap::fromImage(image).scaled(FPictureLb->size(), Qt::KeepAspectRatio,
                                                               Qt::SmoothTransformation));
    });
}

void TPhotoFrm::Open(int record) {
    if (record < 0 || !FModel->Item(record).InBackup) {
        return;
    }
    const TPhotoItem& item = FModel->Item(record);
    Guarded(window(), [&] {
        const std::string path = FSession.ExtractFile(item.Key, "." + item.Type());
        if (path.empty()) {
            ShowInformation(this, QStringLiteral("The file could not be read out of the backup."));
            return;
        }
        OpenFile(ToQString(path));
    });
}

std::vector<int> TPhotoFrm::SelectedRecords() const {
    std::vector<int> rows;
    for (const QModelIndex& index : FGrid->selectionModel()->selectedIndexes()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    std::vector<int> records;
    for (const int row : rows) {
        if (FModel->RecordAt(row) >= 0) {
            records.push_back(FModel->RecordAt(row));
        }
    }
    return records;
}

bool TPhotoFrm::FindNext(const QString& text) {
    const int rows = FModel->rowCount();
    const int start = FGrid->currentIndex().isValid() ? FGrid->currentIndex().row() + 1 : 0;
    for (int i = 0; i < rows; ++i) {
        const int row = (start + i) % rows;
        const int record = FModel->RecordAt(row);
        if (record >= 0 && ToQString(FModel->Item(record).OriginalName).contains(text, Qt::CaseInsensitive)) {
            FGrid->setCurrentIndex(FModel->index(row));
            FGrid->scrollTo(FModel->index(row));
            return true;
        }
    }
    return false;
}

std::optional<TExportJob> TPhotoFrm::PrepareExport() {
    std::vector<int> records = SelectedRecords();
    if (records.empty()) {
        for (int row = 0; row < FModel->rowCount(); ++row) {
            if (FModel->RecordAt(row) >= 0) {
                records.push_back(FModel->RecordAt(row));
            }
        }
    }
    if (records.empty()) {
        ShowInformation(this, QString::fromUtf8(ExportCategoryInfo(ecPhotos).EmptyMessage));
        return std::nullopt;
    }
    TExportFrom dialog(window());
    dialog.SetSession(&FSession);
    dialog.Prepare(ecPhotos, static_cast<int>(SelectedRecords().size()));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    TIpodBackup* session = &FSession;
    TExportJob job;
    job.Destination = dialog.Destination();
    job.Run = [session, records, format = dialog.FormatCode(), dest = ToStdString(dialog.Destination()),
               byMonth = FByMonthCb->isChecked()](const TExportControl& control) {
        return ExportPhotos(*session, records, format, dest, byMonth, control);
    };
    return job;
}

} // namespace kestrow
