#pragma once

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QImage>
#include <QSet>
#include <QStyledItemDelegate>
#include <QThreadPool>
#include <functional>
#include <vector>

class QListView;

namespace kestrow {

class TVideoFrames;
class TIpodBackup;
class TPhotos;
struct TPhotoItem;

// Which items the grid shows: the camera roll as the phone shows it (hidden and deleted ones left
// out), one album, the hidden ones, or those in Recently Deleted.
struct TPhotoFilter {
    enum TKind { All, Album, Hidden, Deleted } Kind = All;
    QString AlbumTitle;
};

// The photo grid's rows: the items passing the filter, newest first, each month under a header row.
// Thumbnails are decoded on worker threads (scaled JPEG decoding, libheif's thumbnails), videos show
// their first frame where the player gives one, and both are kept in a cache bounded by memory; a
// row asks for its thumbnail when it is painted.
class TPhotoGridModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kThumbSide = 128;
    enum TThumbState { Pending, Ready, Undecodable, Missing, Video };

    TPhotoGridModel(TIpodBackup& session, const TPhotos& photos, QObject* parent);
    ~TPhotoGridModel() override;

    void SetFilter(const TPhotoFilter& filter);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The photo list index of a row; -1 for a month header.
    int RecordAt(int row) const;
    QString HeaderAt(int row) const;
    int RowOfRecord(int record) const;
    const TPhotoItem& Item(int record) const;
    // A video's duration in seconds: the library's, else what the player found (0 while unknown).
    double Duration(int record) const;
    // What a video shows beside its picture: "▶ 0:12", "▶ Video" while its duration is unknown.
    QString VideoLabel(int record) const;
    // The thumbnail when it is decoded (else nullptr, and it is asked for) and what the row shows;
    // a video's state is Video with or without its first frame.
    const QImage* Thumbnail(int record, TThumbState& state);
    // Forgets thumbnails asked for but not started (the rows scrolled out of sight).
    void DropPending();
    // Decodes one picture (a video's first frame) to fit `side` off the UI thread; `done` runs on
    // the UI thread with the picture (null when it does not decode) unless the model is gone. A
    // `kept` request (the preview's) replaces the kept one not started and is never dropped.
    void Decode(int record, int side, bool kept, std::function<void(const QImage&)> done);

private:
    struct TRow {
        int Record = -1;
        QString Header;
    };
    void LearnDuration(int record, qint64 ms);

    TIpodBackup& FSession;
    const TPhotos& FPhotos;
    std::vector<TRow> FRows;
    std::vector<int> FRowOfRecord;
    QCache<int, QImage> FCache;
    QSet<int> FPending;
    QSet<int> FFailed;
    QHash<int, double> FDurations; // of videos the library gives none for, as the player found them
    QThreadPool FPool;
    QThreadPool FKeptPool; // the preview's pictures, out of reach of DropPending
    TVideoFrames* FVideos = nullptr;
};

// Paints header rows across the grid and thumbnails (or a labelled placeholder) in square cells.
class TPhotoDelegate : public QStyledItemDelegate {
public:
    TPhotoDelegate(TPhotoGridModel* model, QListView* view);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    TPhotoGridModel* FModel;
    QListView* FView;
};

} // namespace kestrow
