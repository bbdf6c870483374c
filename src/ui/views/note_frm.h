#pragma once

#include <memory>

#include "ui/category_view.h"

class QLabel;
class QLineEdit;
class QWidget;

namespace kestrow {

class THtmlPane;
class TNoteMedia;
class TNotes;
class TRowModel;

// Notes: titles, folders and dates at the right, the chosen note on paper beside them. A locked
// note shows "This note is locked" with a password field above the page; a right password opens it
// and every other note it opens, for the rest of the session.
class TNoteFrm : public TCategoryView {
    Q_OBJECT
public:
    TNoteFrm(TIpodBackup& session, QWidget* parent);
    ~TNoteFrm() override;

    bool Matches(int record, const QString& key) const override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FNoteLst; }
    THtmlPane* Viewer() const { return FNoteViewer; }
    QWidget* LockPanel() const { return FLockPanel; }
    QLineEdit* PasswordEdit() const { return FPasswordEd; }
    QLabel* LockMessage() const { return FLockMessageLb; }
    void ShowNote(int record);

private:
    QWidget* MakeLockPanel();
    void OpenWithPassword();
    std::string NotePage(int record) const;

    TNotes* FNotes = nullptr;
    std::unique_ptr<TNoteMedia> FMedia;
    TListView* FNoteLst = nullptr;
    TRowModel* FModel = nullptr;
    THtmlPane* FNoteViewer = nullptr;
    QWidget* FLockPanel = nullptr;
    QLineEdit* FPasswordEd = nullptr;
    QLabel* FLockMessageLb = nullptr;
    int FShown = -1; // the record on the page
};

} // namespace kestrow
