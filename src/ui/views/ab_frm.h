#pragma once

#include "ui/category_view.h"

namespace kestrow {

class TAddressBook;
class THtmlPane;
class TRowModel;

// Contacts: first and last names at the right, the chosen contact's card beside them.
class TAbFrm : public TCategoryView {
    Q_OBJECT
public:
    TAbFrm(TIpodBackup& session, QWidget* parent);

    bool Matches(int record, const QString& key) const override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FContactLst; }
    THtmlPane* Viewer() const { return FContactViewer; }
    void ShowContact(int record);

private:
    TAddressBook* FBook = nullptr;
    TListView* FContactLst = nullptr;
    TRowModel* FModel = nullptr;
    THtmlPane* FContactViewer = nullptr;
};

} // namespace kestrow
