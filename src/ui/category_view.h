#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/export_control.h"

namespace kestrow {

class TIpodBackup;
class TListView;

// One export run as a view prepared it: where to, and the work itself, which runs on a worker
// thread while the window waits.
struct TExportJob {
    QString Destination; // ends with "/"; opened afterwards when something was written
    std::function<TExportResult(const TExportControl&)> Run;
    std::function<void()> After; // on the UI thread, once the run has ended
};

// A page of the backup view: one category of the open backup.
class TCategoryView : public QWidget {
    Q_OBJECT
public:
    TCategoryView(TIpodBackup& session, QWidget* parent);

    // The main window's search: selects the next record that matches `text`.
    virtual bool FindNext(const QString& text);
    // The search box as it is typed: the list shows only the records that match `text` (every
    // record when it is blank); selected records that stay listed stay selected.
    virtual void Filter(const QString& text);
    // Asks what to export (messages, the export dialog); nothing when the user stops.
    virtual std::optional<TExportJob> PrepareExport() = 0;
    // The view's list; the Safari tree has its own.
    virtual TListView* List() const { return nullptr; }
    // Whether Export has anything to write: an empty list has not.
    virtual bool CanExport() const;

protected:
    // Whether a record of List() matches a search key (SearchKey of the typed text).
    virtual bool Matches(int /*record*/, const QString& /*key*/) const { return false; }

    // Says inside the empty list why it is empty: the database's error when it could not be
    // read, else `emptyText`.
    // `list`: the view's list when it is not List() (the Safari tree).
    void NoteEmpty(int category, const char* emptyText, TListView* list = nullptr);

    // The export run every view shares: the view's message when the list is empty, the dialog for
    // the category with the selected count, then the selected records in list order (all of them
    // when none is selected). Null when nothing is to be exported.
    struct TExportChoice {
        QString Destination;
        int Format = 0;
        std::vector<int> Records;
    };
    std::optional<TExportChoice> ChooseExport(int category, int dialogSelected = -1);

    // The export of a category's records: the chosen records, in list order, with the chosen format.
    using TRecordsExport =
        std::function<TExportResult(TIpodBackup& session, const std::vector<int>& records, int format,
                                    const std::string& dest, const TExportControl& control)>;
    // ChooseExport, then a job that runs `run` on the choice.
    std::optional<TExportJob> RecordsExport(int category, TRecordsExport run, int dialogSelected = -1);

    TIpodBackup& FSession;

private:
    QString FFilter; // the text the list is filtered by
};

} // namespace kestrow
