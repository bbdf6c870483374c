#include "ui/list_view.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <unordered_map>

#include "ui/list_header.h"
#include "ui/row_model.h"

namespace kestrow {

namespace {

class TRowHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(24);
        return size;
    }
};

} // namespace

void ApplyListLook(QTreeView* view) {
    view->setHeader(new TListHeader(view));
    view->setItemDelegate(new TRowHeightDelegate(view));
    view->setUniformRowHeights(true);
    view->setAlternatingRowColors(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setAllColumnsShowFocus(true);
    QPalette palette = view->palette();
    // Rows 0, 2, 4, ... are #F5F5F5, the others white.
    palette.setColor(QPalette::Base, QColor(0xF5, 0xF5, 0xF5));
    palette.setColor(QPalette::AlternateBase, Qt::white);
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(0x00, 0x69, 0xD9));
    palette.setColor(QPalette::Active, QPalette::HighlightedText, Qt::white);
    // A row found from the search box is selected while the box keeps the focus: the inactive
    // highlight must stand out as clearly (black on light blue, 12:1).
    palette.setColor(QPalette::Inactive, QPalette::Highlight, QColor(0xB3, 0xD4, 0xFC));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText, Qt::black);
    view->setPalette(palette);
    view->setFrameShape(QFrame::NoFrame);
}

TListView::TListView(QWidget* parent) : QTreeView(parent) {
    ApplyListLook(this);
    setRootIsDecorated(false);
    setItemsExpandable(false);
}

void TListView::SetRowModel(TRowModel* model, int stretch) {
    FModel = model;
    setModel(model);
    QHeaderView* head = header();
    head->setStretchLastSection(false);
    for (int c = 0; c < static_cast<int>(model->Columns().size()); ++c) {
        const auto& column = model->Columns()[static_cast<std::size_t>(c)];
        head->resizeSection(c, column.Width);
        head->setSectionResizeMode(c, c == stretch   ? QHeaderView::Stretch
                                      : column.Fixed ? QHeaderView::Fixed
                                                     : QHeaderView::Interactive);
    }
    // No sort until the user clicks a header: the list starts in reader order.
    head->setSortIndicator(-1, Qt::AscendingOrder);
    head->setSortIndicatorShown(true);
    setSortingEnabled(true);
    FShown = -1;
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, &TListView::NoteCurrent);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &TListView::NoteCurrent);
    connect(model, &QAbstractItemModel::modelReset, this, [this] { FShown = -1; });
}

void TListView::NoteCurrent() {
    const QModelIndex current = selectionModel()->currentIndex();
    if (!current.isValid() || !selectionModel()->isRowSelected(current.row(), {})) {
        return;
    }
    const int record = FModel->RecordAt(current.row());
    if (record != FShown) {
        FShown = record;
        emit RecordShown(record);
    }
}

void TListView::Filter(const std::function<bool(int record)>& keep) {
    const std::vector<int> selected = SelectedRecords();
    const QModelIndex currentIndex = selectionModel()->currentIndex();
    const int current = currentIndex.isValid() ? FModel->RecordAt(currentIndex.row()) : -1;
    const int shown = FShown;
    FModel->SetFilter(keep);
    FShown = shown; // the reset forgot it; the pane still shows it
    std::unordered_map<int, int> rows;
    for (int row = 0; row < FModel->rowCount(); ++row) {
        rows.emplace(FModel->RecordAt(row), row);
    }
    QItemSelection selection;
    for (const int record : selected) {
        if (const auto found = rows.find(record); found != rows.end()) {
            selection.select(FModel->index(found->second, 0),
                             FModel->index(found->second, FModel->columnCount() - 1));
        }
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (const auto found = rows.find(current); found != rows.end()) {
        selectionModel()->setCurrentIndex(FModel->index(found->second, 0), QItemSelectionModel::NoUpdate);
        scrollTo(FModel->index(found->second, 0));
    }
    viewport()->update();
}

void TListView::ShowFirst() {
    if (FModel == nullptr || FModel->rowCount() == 0) {
        return;
    }
    selectionModel()->setCurrentIndex(FModel->index(0, 0), QItemSelectionModel::NoUpdate);
    FShown = FModel->RecordAt(0);
    emit RecordShown(FShown);
}

void TListView::SetEmptyText(const QString& text) {
    FEmptyText = text;
    viewport()->update();
}

QString TListView::PlaceholderText() const {
    if (model() == nullptr) {
        return {};
    }
    if (model()->rowCount() == 0) {
        return FModel != nullptr && FModel->Filtered() ? QStringLiteral("No match") : FEmptyText;
    }
    // Rows there, none at the top of the viewport: every one is hidden.
    return indexAt(QPoint(1, 1)).isValid() ? QString() : QStringLiteral("No match");
}

void TListView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    const QString text = PlaceholderText();
    if (!text.isEmpty()) {
        QPainter painter(viewport());
        painter.setPen(QColor(0x44, 0x44, 0x44)); // 9.7:1 on the list's background
        painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12),
                         Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
    }
}

QString TListView::SelectedText() const {
    QList<QModelIndex> rows = selectionModel()->selectedRows();
    // In the order on screen: a group, then its rows (the Safari tree), else by row.
    const auto place = [](const QModelIndex& index) {
        return index.parent().isValid() ? std::pair(index.parent().row(), index.row())
                                        : std::pair(index.row(), -1);
    };
    std::sort(rows.begin(), rows.end(),
              [&place](const QModelIndex& a, const QModelIndex& b) { return place(a) < place(b); });
    QStringList lines;
    for (const QModelIndex& row : rows) {
        QStringList cells;
        for (int c = 0; c < model()->columnCount(row.parent()); ++c) {
            if (!isColumnHidden(c)) {
                cells << row.sibling(row.row(), c).data().toString();
            }
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n'));
}

void TListView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy) && model() != nullptr) {
        QApplication::clipboard()->setText(SelectedText());
        return;
    }
    QTreeView::keyPressEvent(event);
}

void TListView::contextMenuEvent(QContextMenuEvent* event) {
    if (model() == nullptr || !indexAt(event->pos()).isValid()) {
        return;
    }
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("Copy"));
    copy->setShortcut(QKeySequence::Copy);
    QAction* exportSelected = ExportSelected ? menu.addAction(QStringLiteral("Export selected...")) : nullptr;
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == copy) {
        QApplication::clipboard()->setText(SelectedText());
    } else if (chosen != nullptr && chosen == exportSelected) {
        ExportSelected();
    }
}

std::vector<int> TListView::SelectedRecords() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end()); // selectedRows() is in selection order, not list order
    std::vector<int> records;
    records.reserve(rows.size());
    for (int row : rows) {
        records.push_back(FModel->RecordAt(row));
    }
    return records;
}

std::vector<int> TListView::AllRecords() const {
    return FModel ? FModel->Records() : std::vector<int>{};
}

int TListView::SelectedCount() const {
    return static_cast<int>(selectionModel()->selectedRows().size());
}

int TListView::RowOfRecord(int record) const {
    const auto& records = FModel->Records();
    const auto found = std::find(records.begin(), records.end(), record);
    return found == records.end() ? -1 : static_cast<int>(found - records.begin());
}

void TListView::SelectRow(int row) {
    const QModelIndex index = FModel->index(row, 0);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index, QAbstractItemView::PositionAtCenter);
}

bool TListView::FindNext(const std::function<bool(int record)>& matches) {
    const int count = FModel ? FModel->rowCount() : 0;
    if (count == 0) {
        return false;
    }
    int selected = -1;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        selected = selected < 0 ? index.row() : std::min(selected, index.row());
    }
    const int start = (selected < 0 || selected == count - 1) ? 0 : selected + 1;
    for (int step = 0, row = start; step < count; ++step, row = (row + 1) % count) {
        if (row == selected) {
            break; // back at the selected row, which is not tested
        }
        if (matches(FModel->RecordAt(row))) {
            SelectRow(row);
            return true;
        }
    }
    return false;
}

} // namespace kestrow
