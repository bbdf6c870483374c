#pragma once

#include "ui/category_view.h"

namespace kestrow {

class TCallLog;
class TRowModel;

// Calls: one row per call with its kind's icon; missed calls in red.
class TCallFrm : public TCategoryView {
    Q_OBJECT
public:
    TCallFrm(TIpodBackup& session, QWidget* parent);

    bool Matches(int record, const QString& key) const override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FCallLst; }

private:
    TCallLog* FCalls = nullptr;
    TListView* FCallLst = nullptr;
    TRowModel* FModel = nullptr;
};

// The icon of a call kind (0-6); a null icon for an unknown kind.
class QIcon CallKindIcon(int kind);

} // namespace kestrow
