#pragma once

#include "ui/category_view.h"

class QPlainTextEdit;

namespace kestrow {

class TCalendar;
class TRowModel;

// Calendar: events with start, end, title and location; the chosen event's description in the
// comment pane, which cannot be copied from (Export is the way out).
class TCldFrm : public TCategoryView {
    Q_OBJECT
public:
    TCldFrm(TIpodBackup& session, QWidget* parent);

    bool Matches(int record, const QString& key) const override;
    std::optional<TExportJob> PrepareExport() override;
    TListView* List() const override { return FEventLst; }
    QPlainTextEdit* NoteMm() const { return FNoteMm; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TCalendar* FCalendar = nullptr;
    TListView* FEventLst = nullptr;
    TRowModel* FModel = nullptr;
    QPlainTextEdit* FNoteMm = nullptr;
};

} // namespace kestrow
