#pragma once

#include <QString>
#include <QTreeView>
#include <functional>
#include <vector>

namespace kestrow {

class TRowModel;

// The look every category list shares: 24-pixel rows in alternating colours, the category
// header, click-to-sort (again to reverse) and several selected rows; plus find-next.
class TListView : public QTreeView {
    Q_OBJECT
public:
    explicit TListView(QWidget* parent = nullptr);

    // Sets the model and the column widths; the column `stretch` (or none: -1) takes the rest.
    void SetRowModel(TRowModel* model, int stretch = -1);
    TRowModel* RowModel() const { return FModel; }

    // Selected records in list order, and every record in list order.
    std::vector<int> SelectedRecords() const;
    std::vector<int> AllRecords() const;
    int SelectedCount() const;
    // The row of `record` in list order, or -1.
    int RowOfRecord(int record) const;
    void SelectRow(int row);

    // From the row after the first selected one (or the first row), walk the list for a record
    // that `matches`; with a selection the walk wraps and stops at the selected row. The match is
    // selected alone and scrolled to the centre.
    bool FindNext(const std::function<bool(int record)>& matches);

    // Lists only the records `keep` accepts (every record when null). The selected records that
    // stay listed stay selected, and the record on screen stays there.
    void Filter(const std::function<bool(int record)>& keep);

    // Makes the first row current (not selected) and shows its record; nothing when empty.
    void ShowFirst();
    // Drawn in the empty list: why there is nothing (no records, or the database's error).
    void SetEmptyText(const QString& text);
    const QString& EmptyText() const { return FEmptyText; }
    // What the list says over its empty viewport: "No match" when a filter hides every row (the
    // list's own filter, or rows hidden by a tree view's), else the empty text when it has no
    // rows; nothing while a row shows.
    QString PlaceholderText() const;
    // "Export selected..." of the rows' context menu; the menu has only Copy without it.
    std::function<void()> ExportSelected;
    // The visible texts of the selected rows, tab between cells, one line each.
    QString SelectedText() const;

signals:
    // The record whose row is current and selected: by mouse, keyboard or search. Mouse presses
    // make a row current before they select it, so the selection's change is watched as well.
    void RecordShown(int record);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void NoteCurrent();

    TRowModel* FModel = nullptr;
    QString FEmptyText;
    int FShown = -1;
};

// Applies the shared list colours to any item view (the Safari tree uses them too).
void ApplyListLook(QTreeView* view);

} // namespace kestrow
