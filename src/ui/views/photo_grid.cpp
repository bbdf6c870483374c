#include "ui/views/photo_grid.h"

#include <QDate>
#include <QListView>
#include <QLocale>
#include <QPainter>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <fcntl.h>

#include "archive/ipod_backup.h"
#include "platform/date_time.h"
#include "readers/heif_picture.h"
#include "readers/photos.h"
#include "readers/record_text.h"
#include "ui/views/video_frames.h"

namespace kestrow {

namespace {

constexpr int kCell = TPhotoGridModel::kThumbSide + 8;
constexpr int kHeaderHeight = 30;
constexpr int kCacheKiB = 256 * 1024; // about 7,000 thumbnails
// Encrypted videos are decrypted into an unnamed file for the player; larger ones keep their icon.
constexpr std::int64_t kMaxVideoCopy = 512LL << 20;

bool Passes(const TPhotoItem& item, const TPhotoFilter& filter) {
    switch (filter.Kind) {
    case TPhotoFilter::Hidden:
        return item.Hidden && !item.Trashed;
    case TPhotoFilter::Deleted:
        return item.Trashed;
    case TPhotoFilter::Album:
        return !item.Trashed && std::find(item.Albums.begin(), item.Albums.end(),
                                          filter.AlbumTitle.toStdString()) != item.Albums.end();
    default:
        return !item.Hidden && !item.Trashed;
    }
}

QString MonthTitle(double date) {
    if (date == 0) {
        return QStringLiteral("No date");
    }
    const TCivilDateTime civil = CivilOf(date);
    return QLocale().toString(QDate(civil.Year, civil.Month, 1), QStringLiteral("MMMM yyyy"));
}

// The play mark and duration over a video's first frame, in its lower left corner.
void VideoBadge(QPainter* painter, const QRect& cell, const QString& label) {
    QRect box = painter->fontMetrics().boundingRect(label).adjusted(-3, -1, 3, 1);
    box.moveBottomLeft(cell.bottomLeft() + QPoint(2, -2));
    painter->fillRect(box, QColor(0, 0, 0, 160));
    painter->setPen(Qt::white);
    painter->drawText(box, Qt::AlignCenter, label);
}

QImage ToImage(const TRgbImage& rgb) {
    QImage image(rgb.Width, rgb.Height, QImage::Format_RGB888);
    for (int y = 0; y < rgb.Height; ++y) {
        std::copy_n(&rgb.Pixels[static_cast<std::size_t>(y) * rgb.Width * 3],
                    static_cast<std::size_t>(rgb.Width) * 3, image.scanLine(y));
    }
    return image;
}

// A video file open for the player: the backup's own file, or a decrypted copy without a name in the
// session's private folder (gone when closed). Null when it cannot be read.
std::shared_ptr<TFileHandle> OpenVideo(const TBackupFileAccess& access, const TBackupFile& file,
                                       const std::string& privateFolder) {
    auto handle = std::make_shared<TFileHandle>();
    if (file.Key.empty()) {
        std::int64_t size = 0;
        return access.OpenContent(file, *handle, size) == 0 ? handle : nullptr;
    }
    if (file.Size > kMaxVideoCopy || privateFolder.empty()) {
        return nullptr;
    }
    *handle = TFileHandle(::open(privateFolder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    std::uint64_t written = 0;
    if (!handle->IsOpen() || access.WriteContent(file, handle->Fd(), {}, written) != 0) {
        return nullptr;
    }
    return handle;
}

} // namespace

TPhotoGridModel::TPhotoGridModel(TIpodBackup& session, const TPhotos& photos, QObject* parent)
    : QAbstractListModel(parent), FSession(session), FPhotos(photos), FCache(kCacheKiB) {
    FPool.setMaxThreadCount(std::max(1, std::min(QThread::idealThreadCount(), 4)));
    FKeptPool.setMaxThreadCount(1);
    FVideos = new TVideoFrames(this);
    SetFilter({});
}

TPhotoGridModel::~TPhotoGridModel() {
    FPool.clear();
    FPool.waitForDone(); // their results are posted to this object, which Qt then drops
    FKeptPool.clear();
    FKeptPool.waitForDone();
}

void TPhotoGridModel::SetFilter(const TPhotoFilter& filter) {
    beginResetModel();
    FRows.clear();
    FRowOfRecord.assign(static_cast<std::size_t>(FPhotos.Count()), -1);
    // Newest first; the undated (last in the list) at the end.
    int undated = FPhotos.Count();
    while (undated > 0 && FPhotos.Item(undated - 1).Date == 0) {
        --undated;
    }
    std::vector<int> order;
    for (int record = undated - 1; record >= 0; --record) {
        order.push_back(record);
    }
    for (int record = undated; record < FPhotos.Count(); ++record) {
        order.push_back(record);
    }
    QString month;
    for (const int record : order) {
        const TPhotoItem& item = FPhotos.Item(record);
        if (!Passes(item, filter)) {
            continue;
        }
        const QString title = MonthTitle(item.Date);
        if (FRows.empty() || title != month) {
            FRows.push_back({-1, title});
            month = title;
        }
        FRowOfRecord[static_cast<std::size_t>(record)] = static_cast<int>(FRows.size());
        FRows.push_back({record, {}});
    }
    endResetModel();
}

int TPhotoGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

QVariant TPhotoGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) {
        return {};
    }
    const TRow& row = FRows[static_cast<std::size_t>(index.row())];
    return row.Record < 0 ? row.Header : QString::fromStdString(FPhotos.Item(row.Record).OriginalName);
}

Qt::ItemFlags TPhotoGridModel::flags(const QModelIndex& index) const {
    return RecordAt(index.row()) < 0 ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

int TPhotoGridModel::RecordAt(int row) const {
    return row >= 0 && row < static_cast<int>(FRows.size()) ? FRows[static_cast<std::size_t>(row)].Record
                                                            : -1;
}

QString TPhotoGridModel::HeaderAt(int row) const {
    return row >= 0 && row < static_cast<int>(FRows.size()) ? FRows[static_cast<std::size_t>(row)].Header
                                                            : QString();
}

int TPhotoGridModel::RowOfRecord(int record) const {
    return record >= 0 && record < static_cast<int>(FRowOfRecord.size())
               ? FRowOfRecord[static_cast<std::size_t>(record)]
               : -1;
}

const TPhotoItem& TPhotoGridModel::Item(int record) const {
    return FPhotos.Item(record);
}

double TPhotoGridModel::Duration(int record) const {
    const double library = FPhotos.Item(record).Duration;
    return library > 0 ? library : FDurations.value(record);
}

QString TPhotoGridModel::VideoLabel(int record) const {
    const double seconds = Duration(record);
    return QStringLiteral("\u25B6 ") + (seconds > 0
                                            ? QString::fromStdString(DurationText(std::llround(seconds)))
                                            : QStringLiteral("Video"));
}

const QImage* TPhotoGridModel::Thumbnail(int record, TThumbState& state) {
    const TPhotoItem& item = FPhotos.Item(record);
    if (!item.InBackup) {
        state = Missing;
        return nullptr;
    }
    if (const QImage* image = FCache.object(record)) {
        state = item.IsVideo ? Video : Ready;
        return image;
    }
    const bool failed = FFailed.contains(record);
    state = item.IsVideo ? Video : failed ? Undecodable : Pending;
    if (!failed && !FPending.contains(record)) {
        FPending.insert(record);
        Decode(record, kThumbSide, false, [this, record](const QImage& image) {
            FPending.remove(record);
            if (image.isNull()) {
                FFailed.insert(record);
            } else {
                FCache.insert(record, new QImage(image), static_cast<int>(image.sizeInBytes() / 1024) + 1);
            }
            const int row = RowOfRecord(record);
            if (row >= 0) {
                emit dataChanged(index(row), index(row));
            }
        });
    }
    return nullptr;
}

void TPhotoGridModel::LearnDuration(int record, qint64 ms) {
    if (ms <= 0 || Duration(record) > 0) {
        return;
    }
    FDurations.insert(record, static_cast<double>(ms) / 1000.0);
    const int row = RowOfRecord(record);
    if (row >= 0) {
        emit dataChanged(index(row), index(row)); // its label, painted again
    }
}

void TPhotoGridModel::DropPending() {
    FPool.clear();
    FVideos->Clear();
    FPending.clear();
}

void TPhotoGridModel::Decode(int record, int side, bool kept, std::function<void(const QImage&)> done) {
    const TBackupFile* file = FSession.Files().Find(FPhotos.Item(record).Key);
    if (file == nullptr) {
        done(QImage());
        return;
    }
    const TBackupFileAccess* access = &FSession.FileAccess();
    QThreadPool& pool = kept ? FKeptPool : FPool;
    if (kept) {
        FKeptPool.clear(); // the picture asked for before, no longer shown, if it has not started
    }
    if (FPhotos.Item(record).IsVideo) {
        pool.start([this, access, file = *file, folder = FSession.TempFolder(), record, side, kept,
                    done = std::move(done)] {
            auto video = OpenVideo(*access, file, folder);
            QMetaObject::invokeMethod(
                this,
                [this, video, record, side, kept, done] {
                    if (video == nullptr) {
                        done(QImage());
                        return;
                    }
                    FVideos->Request(
                        video, side,
                        [this, record, done](const QImage& frame, qint64 ms) {
                            LearnDuration(record, ms);
                            done(frame);
                        },
                        kept);
                },
                Qt::QueuedConnection);
        });
        return;
    }
    pool.start([this, access, file = *file, side, done = std::move(done)] {
        std::string data;
        std::string error;
        QImage image;
        if (access->Load(file, data) == 0) {
            if (const auto rgb = DecodePicture(data, side, error)) {
                image = ToImage(*rgb);
            }
        }
        QMetaObject::invokeMethod(
            this, [done, image] { done(image); }, Qt::QueuedConnection);
    });
}

TPhotoDelegate::TPhotoDelegate(TPhotoGridModel* model, QListView* view)
    : QStyledItemDelegate(view), FModel(model), FView(view) {}

QSize TPhotoDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const {
    if (FModel->RecordAt(index.row()) < 0) {
        return {std::max(kCell, FView->viewport()->width() - 2 * FView->spacing() - 2), kHeaderHeight};
    }
    return {kCell, kCell};
}

void TPhotoDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                           const QModelIndex& index) const {
    painter->save();
    const int record = FModel->RecordAt(index.row());
    if (record < 0) {
        QFont font = option.font;
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.2);
        painter->setFont(font);
        painter->drawText(option.rect.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                          FModel->HeaderAt(index.row()));
        painter->restore();
        return;
    }
    if (option.state & QStyle::State_Selected) {
        painter->fillRect(option.rect, option.palette.highlight());
    }
    const QRect cell = option.rect.adjusted(4, 4, -4, -4);
    TPhotoGridModel::TThumbState state = TPhotoGridModel::Pending;
    if (const QImage* image = FModel->Thumbnail(record, state)) {
        const QSize size = image->size().scaled(cell.size(), Qt::KeepAspectRatio);
        const QRect target(cell.center() - QPoint(size.width() / 2, size.height() / 2), size);
        painter->drawImage(target, *image);
        if (state == TPhotoGridModel::Video) {
            VideoBadge(painter, cell, FModel->VideoLabel(record));
        }
    } else {
        painter->fillRect(cell, state == TPhotoGridModel::Video ? QColor(0x30, 0x30, 0x30)
                                                                : QColor(0xE8, 0xE8, 0xE8));
        QString label;
        const TPhotoItem& item = FModel->Item(record);
        switch (state) {
        case TPhotoGridModel::Missing:
            label = QStringLiteral("Not in the backup");
            break;
        case TPhotoGridModel::Undecodable:
            label = QStringLiteral("Cannot show this picture");
            break;
        case TPhotoGridModel::Video:
            label = FModel->VideoLabel(record);
            painter->setPen(Qt::white);
            break;
        default:
            break;
        }
        if (!label.isEmpty()) {
            painter->drawText(cell.adjusted(4, 4, -4, -4), Qt::AlignCenter | Qt::TextWordWrap,
                              label + QLatin1Char('\n') + QString::fromStdString(item.OriginalName));
        }
    }
    painter->restore();
}

} // namespace kestrow
