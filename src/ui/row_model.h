#pragma once

#include <QAbstractTableModel>
#include <QVariant>
#include <functional>
#include <vector>

namespace kestrow {

// One column of a category list: its caption, width and how a record shows and compares.
struct TColumn {
    QString Title;
    int Width = 100;
    Qt::Alignment Align = Qt::AlignLeft | Qt::AlignVCenter;
    std::function<QString(int record)> Text;
    // Ascending order of two records; null: the column does not sort.
    std::function<bool(int a, int b)> Less;
    bool Fixed = false; // not resizable
};

// A table over reader records: each row holds one record number (the record's index in the
// reader), texts are made on demand and nothing of the reader is copied. Sorting is a stable sort
// of the record numbers, so rows of equal keys keep their order.
class TRowModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TRowModel(std::vector<TColumn> columns, QObject* parent = nullptr);

    // Every record of the list; those the filter keeps are the rows.
    void SetRecords(std::vector<int> records);
    // Only the records `keep` accepts are rows (all of them when `keep` is null), in list order.
    void SetFilter(std::function<bool(int record)> keep);
    bool Filtered() const { return static_cast<bool>(FKeep); }
    // The rows' records, in list order.
    const std::vector<int>& Records() const { return FRecords; }
    int RecordAt(int row) const { return FRecords[static_cast<std::size_t>(row)]; }
    const std::vector<TColumn>& Columns() const { return FColumns; }
    // Extra roles (colours, icons) per record and column.
    void SetRoleData(std::function<QVariant(int record, int column, int role)> roleData) {
        FRoleData = std::move(roleData);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

private:
    std::vector<TColumn> FColumns;
    void ApplyFilter();

    std::vector<int> FAll; // every record, in list order
    std::vector<int> FRecords;
    std::function<bool(int)> FKeep;
    std::function<QVariant(int, int, int)> FRoleData;
};

// ASCII-only case-insensitive ordering of texts, as every list sorts names.
bool LessAsciiNoCase(const std::string& a, const std::string& b);
// Whether `text` contains `part`, ASCII letters compared in upper case.
bool ContainsAsciiNoCase(const std::string& text, const std::string& part);

} // namespace kestrow
