#include "ui/views/note_frm.h"

#include <QHBoxLayout>
#include <QSplitter>
#include <numeric>

#include "archive/ipod_backup.h"
#include "export/export_formats.h"
#include "export/note_page.h"
#include "export/notes_export.h"
#include "platform/date_time.h"
#include "readers/notes.h"
#include "ui/html_pane.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"
#include "ui/views/view_parts.h"

namespace kestrow {

TNoteFrm::TNoteFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    FNotes = session.LoadNotes();
    TNotes* notes = FNotes;
    const auto note = [notes](int record) -> const TNoteItem& { return notes->Notes(record); };
    std::vector<TColumn> columns{
        {QStringLiteral("Title"), 200, Qt::AlignLeft | Qt::AlignVCenter,
         [note](int r) { return ToQString(note(r).Title); },
         [note](int a, int b) { return LessAsciiNoCase(note(a).Title, note(b).Title); }},
        {QStringLiteral("Date"), 160, Qt::AlignRight | Qt::AlignVCenter,
         [note](int r) { return ToQString(DateTimeText(note(r).ModifiedDate)); },
         [note](int a, int b) { return note(a).ModifiedDate < note(b).ModifiedDate; }},
    };
    FModel = new TRowModel(std::move(columns), this);
    std::vector<int> records(notes != nullptr ? static_cast<std::size_t>(notes->Count()) : 0);
    std::iota(records.begin(), records.end(), 0);
    FModel->SetRecords(std::move(records));
    FNoteLst = new TListView(this);
    FNoteLst->SetRowModel(FModel, 0);
    FNoteViewer = new THtmlPane(this);
    auto* splitter = new QSplitter(this);
    StyleSplitter(splitter);
    splitter->addWidget(FNoteViewer);
    splitter->addWidget(FNoteLst);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({640, 360});
    RememberSplitter(splitter, QStringLiteral("Notes"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    connect(FNoteLst, &TListView::RecordShown, this,
            [this](int record) { Guarded(window(), [&] { ShowNote(record); }); });
    FNoteLst->ShowFirst();
    NoteEmpty(catNotes, "No notes in this backup.");
}

void TNoteFrm::ShowNote(int record) {
    // The body is HTML by nature; the page builder shows it without scripts or remote references.
    FNoteViewer->ShowHtml(BuildNotePage(FNotes->Notes(record)));
}

bool TNoteFrm::FindNext(const QString& text) {
    const QString key = SearchKey(text);
    return FNoteLst->FindNext(
        [this, &key](int record) { return MatchesSearch(FNotes->Notes(record).Body, key); });
}

std::optional<TExportJob> TNoteFrm::PrepareExport() {
    return RecordsExport(
        ecNotes, [](TIpodBackup& session, const std::vector<int>& records, int, const std::string& dest,
                    const TExportControl& control) { return ExportNotes(session, records, dest, control); });
}

} // namespace kestrow
