#include "ui/row_model.h"

#include <algorithm>
#include <iterator>

#include "platform/text.h"

namespace kestrow {

TRowModel::TRowModel(std::vector<TColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), FColumns(std::move(columns)) {}

namespace {

// The positions of `records` in the order of `less` (stable; the ascending order reversed for
// the descending one, as a list shows it).
std::vector<int> SortedPositions(const std::vector<int>& records, const std::function<bool(int, int)>& less,
                                 Qt::SortOrder order) {
    std::vector<int> positions(records.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        positions[i] = static_cast<int>(i);
    }
    std::stable_sort(positions.begin(), positions.end(), [&](int a, int b) {
        return less(records[static_cast<std::size_t>(a)], records[static_cast<std::size_t>(b)]);
    });
    if (order == Qt::DescendingOrder) {
        std::reverse(positions.begin(), positions.end());
    }
    return positions;
}

} // namespace

void TRowModel::SetRecords(std::vector<int> records) {
    beginResetModel();
    FAll = std::move(records);
    ApplyFilter();
    endResetModel();
}

void TRowModel::SetFilter(std::function<bool(int record)> keep) {
    beginResetModel();
    FKeep = std::move(keep);
    ApplyFilter();
    endResetModel();
}

void TRowModel::ApplyFilter() {
    if (!FKeep) {
        FRecords = FAll;
        return;
    }
    FRecords.clear();
    std::copy_if(FAll.begin(), FAll.end(), std::back_inserter(FRecords), FKeep);
}

int TRowModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRecords.size());
}

int TRowModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

QVariant TRowModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
        return {};
    }
    const TColumn& column = FColumns[static_cast<std::size_t>(index.column())];
    const int record = RecordAt(index.row());
    if (role == Qt::DisplayRole) {
        return column.Text ? column.Text(record) : QString();
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(column.Align);
    }
    return FRoleData ? FRoleData(record, index.column(), role) : QVariant();
}

QVariant TRowModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return {};
    }
    const TColumn& column = FColumns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) {
        return column.Title;
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(column.Align);
    }
    return {};
}

void TRowModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columnCount() || !FColumns[static_cast<std::size_t>(column)].Less) {
        return;
    }
    const auto& less = FColumns[static_cast<std::size_t>(column)].Less;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> oldRecords = FRecords;
    const std::vector<int> positions = SortedPositions(oldRecords, less, order);
    if (FKeep) { // the records filtered out take the order too, for when they are shown again
        const std::vector<int> all = FAll;
        const std::vector<int> allPositions = SortedPositions(all, less, order);
        for (std::size_t i = 0; i < all.size(); ++i) {
            FAll[i] = all[static_cast<std::size_t>(allPositions[i])];
        }
    }
    std::vector<int> newRow(positions.size());
    for (std::size_t i = 0; i < positions.size(); ++i) {
        FRecords[i] = oldRecords[static_cast<std::size_t>(positions[i])];
        newRow[static_cast<std::size_t>(positions[i])] = static_cast<int>(i);
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        after.push_back(this->index(newRow[static_cast<std::size_t>(index.row())], index.column()));
    }
    changePersistentIndexList(before, after);
    if (!FKeep) {
        FAll = FRecords;
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool LessAsciiNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
        return static_cast<unsigned char>(up(x)) < static_cast<unsigned char>(up(y));
    });
}

bool ContainsAsciiNoCase(const std::string& text, const std::string& part) {
    return AsciiUpper(text).find(AsciiUpper(part)) != std::string::npos;
}

} // namespace kestrow
