#pragma once

#include <vector>

#include "export/safari_export.h"
#include "ui/category_view.h"

class QStandardItemModel;

namespace kestrow {

class TSafari;

// Bookmarks and history as a two-level tree ("Bookmarks", "Histories"); double click opens a web
// address in the default browser.
class TSfrFrm : public TCategoryView {
    Q_OBJECT
public:
    TSfrFrm(TIpodBackup& session, QWidget* parent);

    bool FindNext(const QString& text) override;
    // Hides the rows whose name does not match; a group without a listed row hides too.
    void Filter(const QString& text) override;
    std::optional<TExportJob> PrepareExport() override;
    bool CanExport() const override;
    // The tree; when empty it says why (nothing stored, or the database's error).
    TListView* UrlLst() const { return FUrlLst; }
    // The rows as shown (groups followed by their rows) and which are selected.
    std::vector<TSafariRow> ShownRows(std::vector<bool>* selected = nullptr) const;
    // Opens a web address in the default browser; tests replace it.
    std::function<void(const QString& url)> OpenUrl;

private:
    void Open(const QModelIndex& index);

    TSafari* FSafari = nullptr;
    TListView* FUrlLst = nullptr;
    QStandardItemModel* FModel = nullptr;
};

} // namespace kestrow
