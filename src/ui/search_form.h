#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <vector>

#include "search/search_index.h"

class QComboBox;
class QMenu;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTreeView;

namespace kestrow {

class THitModel;
class TIpodBackup;

// Search of every category and the timeline of one open backup, in a window beside the main one.
// It owns the session's search index (built on the first search), so it lives as long as the
// opening it was made for. A double click on a result asks `Open` to show the record in its view.
class TSearchForm : public QDialog {
    Q_OBJECT
public:
    TSearchForm(TIpodBackup& session, QWidget* parent = nullptr);
    ~TSearchForm() override;

    // Shows the window with `text` searched (empty: nothing yet), or the timeline.
    void ShowSearch(const QString& text);
    void ShowTimeline();

    // Category (session numbers), record and the searched text of a chosen result.
    std::function<void(int category, int record, const QString& text)> Open;
    // False while the backup view is busy (an opening replaces the readers the index reads).
    std::function<bool()> CanUse;

    QLineEdit* FindEdt() const { return FFindEdt; }
    QTreeView* ResultLst() const { return FResultLst; }
    QLabel* CountLabel() const { return FCount; }

private:
    void RunSearch();
    void RunTimeline();
    void Show(std::vector<TSearchHit> hits, bool timeline);
    void OpenRow(int row);
    void ExportCsv();
    TCategoryFilter Categories() const;
    bool Usable();

    TIpodBackup& FSession;
    std::unique_ptr<TSearchIndex> FIndex;
    QLineEdit* FFindEdt = nullptr;
    QComboBox* FCategoryCb = nullptr;
    QDateEdit* FFromEdt = nullptr;
    QDateEdit* FToEdt = nullptr;
    QTreeView* FResultLst = nullptr;
    THitModel* FModel = nullptr;
    QLabel* FCount = nullptr;
    QString FSearched;
};

class TBackFrame;

// The hook into the main window: "Search Everything ..." (with the search box's text) and
// "Timeline ..." in `menu`. One search window per opening; a new opening closes it.
void AddSearchActions(QMenu* menu, TBackFrame* frame, QLineEdit* searchBox);
// Shows a record of the open backup in its view, selected, and the searched text highlighted in
// its page.
void ShowFoundRecord(TBackFrame* frame, int category, int record, const QString& text);

} // namespace kestrow
