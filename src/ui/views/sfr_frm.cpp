#include "ui/views/sfr_frm.h"

#include <QDesktopServices>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include "archive/ipod_backup.h"
#include "export/export_formats.h"
#include "platform/date_time.h"
#include "readers/safari.h"
#include "ui/export_form.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"

namespace kestrow {

namespace {

constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kIndexRole = Qt::UserRole + 2;

// A cell that sorts only against rows of its own kind; rows of different kinds compare equal.
class TSafariItem : public QStandardItem {
public:
    TSafariItem(const QString& text, TSafariRow row, const TSafari* safari, int column)
        : QStandardItem(text), FRow(row), FSafari(safari), FColumn(column) {
        setData(static_cast<int>(row.Kind), kKindRole);
        setData(row.Index, kIndexRole);
        setEditable(false);
    }
    bool operator<(const QStandardItem& other) const override {
        const auto* that = dynamic_cast<const TSafariItem*>(&other);
        if (that == nullptr || that->FRow.Kind != FRow.Kind || FRow.Index < 0) {
            return false;
        }
        if (FColumn < 2) {
            return LessAsciiNoCase(ToStdString(text()), ToStdString(that->text()));
        }
        if (FRow.Kind == srBookmark) {
            return FSafari->Bookmarks(FRow.Index).Parent < FSafari->Bookmarks(that->FRow.Index).Parent;
        }
        // Whole days between the visits: visits less than a day apart compare equal.
        const double a = FSafari->History(FRow.Index).Date;
        const double b = FSafari->History(that->FRow.Index).Date;
        return static_cast<long long>(b - a) > 0;
    }

private:
    TSafariRow FRow;
    const TSafari* FSafari;
    int FColumn;
};

QList<QStandardItem*> MakeRow(const TSafari& safari, TSafariRow row) {
    QString name;
    QString url;
    QString info;
    switch (row.Kind) {
    case srBookmarksGroup:
        name = QStringLiteral("Bookmarks");
        break;
    case srHistoryGroup:
        name = QStringLiteral("Histories");
        break;
    case srBookmark:
        name = ToQString(safari.Bookmarks(row.Index).Title);
        url = ToQString(safari.Bookmarks(row.Index).Url);
        info = ToQString(safari.FolderPath(row.Index));
        break;
    case srHistory:
        name = ToQString(safari.History(row.Index).Title);
        url = ToQString(safari.History(row.Index).Url);
        info = ToQString(DateTimeText(safari.History(row.Index).Date));
        break;
    }
    QList<QStandardItem*> cells{new TSafariItem(name, row, &safari, 0), new TSafariItem(url, row, &safari, 1),
                                new TSafariItem(info, row, &safari, 2)};
    if (row.Kind == srBookmarksGroup || row.Kind == srHistoryGroup) {
        for (QStandardItem* cell : cells) {
            cell->setBackground(QColor(0xF6, 0xF6, 0xF6));
        }
    }
    return cells;
}

} // namespace

TSfrFrm::TSfrFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    FSafari = session.LoadSafari();
    FModel = new QStandardItemModel(0, 3, this);
    FModel->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Url ( Double click to open )"), QStringLiteral("Info")});
    FUrlLst = new TListView(this);
    FUrlLst->setRootIsDecorated(true);
    FUrlLst->setItemsExpandable(true);
    FUrlLst->setModel(FModel);
    QStandardItem* group = nullptr;
    if (FSafari != nullptr) {
        for (const TSafariRow& row : SafariRows(*FSafari)) {
            if (row.Kind == srBookmarksGroup || row.Kind == srHistoryGroup) {
                FModel->appendRow(MakeRow(*FSafari, row));
                group = FModel->item(FModel->rowCount() - 1);
            } else if (group != nullptr) {
                group->appendRow(MakeRow(*FSafari, row));
            }
        }
    }
    for (int row = 0; row < FModel->rowCount(); ++row) {
        // Bookmarks open, history closed.
        FUrlLst->setExpanded(FModel->index(row, 0),
                             FModel->item(row)->data(kKindRole).toInt() == srBookmarksGroup);
    }
    QHeaderView* header = FUrlLst->header();
    header->resizeSection(0, 180);
    header->resizeSection(2, 180);
    header->setSectionResizeMode(1, QHeaderView::Stretch);
    header->setStretchLastSection(false);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    FUrlLst->setSortingEnabled(true);
    connect(FUrlLst, &QTreeView::doubleClicked, this, &TSfrFrm::Open);
    NoteEmpty(catBookmarks, "No bookmarks or history in this backup.", FUrlLst);
    OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FUrlLst);
}

void TSfrFrm::Open(const QModelIndex& index) {
    const int kind = index.sibling(index.row(), 0).data(kKindRole).toInt();
    if (kind != srBookmark && kind != srHistory) {
        return;
    }
    const QUrl url(index.sibling(index.row(), 1).data().toString());
    // Only web addresses: a backup's "bookmark" must not make the desktop run or open local files.
    if ((url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) && OpenUrl) {
        OpenUrl(url.toString());
    }
}

bool TSfrFrm::CanExport() const {
    for (int g = 0; g < FModel->rowCount(); ++g) {
        if (!FUrlLst->isRowHidden(g, {})) {
            return true;
        }
    }
    return false;
}

std::vector<TSafariRow> TSfrFrm::ShownRows(std::vector<bool>* selected) const {
    std::vector<TSafariRow> rows;
    const auto add = [&](const QModelIndex& index) {
        rows.push_back(
            {static_cast<TSafariRowKind>(index.data(kKindRole).toInt()), index.data(kIndexRole).toInt()});
        if (selected != nullptr) {
            selected->push_back(FUrlLst->selectionModel()->isSelected(index));
        }
    };
    for (int g = 0; g < FModel->rowCount(); ++g) {
        const QModelIndex group = FModel->index(g, 0);
        if (FUrlLst->isRowHidden(g, {})) {
            continue;
        }
        add(group);
        for (int r = 0; r < FModel->rowCount(group); ++r) {
            if (!FUrlLst->isRowHidden(r, group)) {
                add(FModel->index(r, 0, group));
            }
        }
    }
    return rows;
}

void TSfrFrm::Filter(const QString& text) {
    const QString key = SearchKey(text);
    const bool all = text.trimmed().isEmpty();
    for (int g = 0; g < FModel->rowCount(); ++g) {
        const QModelIndex group = FModel->index(g, 0);
        bool any = false;
        for (int r = 0; r < FModel->rowCount(group); ++r) {
            const bool listed =
                all || MatchesSearch(ToStdString(FModel->index(r, 0, group).data().toString()), key);
            FUrlLst->setRowHidden(r, group, !listed);
            any = any || listed;
        }
        FUrlLst->setRowHidden(g, {}, !any);
    }
}

bool TSfrFrm::FindNext(const QString& text) {
    const QString key = SearchKey(text);
    std::vector<QModelIndex> rows;
    int selected = -1;
    for (int g = 0; g < FModel->rowCount(); ++g) {
        const QModelIndex group = FModel->index(g, 0);
        for (int r = 0; r < FModel->rowCount(group); ++r) {
            const QModelIndex index = FModel->index(r, 0, group);
            if (FUrlLst->isRowHidden(r, group)) {
                continue;
            }
            if (selected < 0 && FUrlLst->selectionModel()->isSelected(index)) {
                selected = static_cast<int>(rows.size());
            }
            rows.push_back(index);
        }
    }
    const int count = static_cast<int>(rows.size());
    const int start = (selected < 0 || selected == count - 1) ? 0 : selected + 1;
    for (int step = 0, row = start; step < count; ++step, row = (row + 1) % count) {
        if (row == selected) {
            break;
        }
        if (MatchesSearch(ToStdString(rows[static_cast<std::size_t>(row)].data().toString()), key)) {
            const QModelIndex found = rows[static_cast<std::size_t>(row)];
            FUrlLst->setExpanded(found.parent(), true);
            FUrlLst->selectionModel()->setCurrentIndex(found, QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
            FUrlLst->scrollTo(found, QAbstractItemView::PositionAtCenter);
            return true;
        }
    }
    return false;
}

std::optional<TExportJob> TSfrFrm::PrepareExport() {
    std::vector<bool> selected;
    const std::vector<TSafariRow> listed = ShownRows(&selected);
    if (listed.empty()) {
        ShowInformation(this, QString::fromUtf8(ExportCategoryInfo(ecSafari).EmptyMessage));
        return std::nullopt;
    }
    const int count = static_cast<int>(std::count(selected.begin(), selected.end(), true));
    TExportFrom dialog(window());
    dialog.SetSession(&FSession);
    dialog.Prepare(ecSafari, count);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    TIpodBackup* session = &FSession;
    TExportJob job;
    job.Destination = dialog.Destination();
    job.Run = [session, rows = SafariExportRows(listed, selected), format = dialog.FormatCode(),
               dest = ToStdString(dialog.Destination())](const TExportControl& control) {
        return ExportSafari(*session, rows, format, dest, control);
    };
    return job;
}

} // namespace kestrow
