#pragma once

#include "ui/category_view.h"

namespace kestrow {

class THtmlPane;
class TNotes;
class TRowModel;

// Notes: titles and dates at the right, the chosen note on paper beside them.
class TNoteFrm : public TCategoryView {
    Q_OBJECT
public:
    TNoteFrm(TIpodBackup& session, QWidget* parent);

    bool FindNext(const QString& text) override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FNoteLst; }
    THtmlPane* Viewer() const { return FNoteViewer; }
    void ShowNote(int record);

private:
    TNotes* FNotes = nullptr;
    TListView* FNoteLst = nullptr;
    TRowModel* FModel = nullptr;
    THtmlPane* FNoteViewer = nullptr;
};

} // namespace kestrow
