#include "ui/views/note_frm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>
#include <numeric>

#include "archive/ipod_backup.h"
#include "crypto/base64.h"
#include "export/export_formats.h"
#include "export/note_media.h"
#include "export/note_page.h"
#include "export/notes_export.h"
#include "platform/date_time.h"
#include "readers/notes.h"
#include "ui/html_pane.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"
#include "ui/views/picture_scaling.h"
#include "ui/views/view_parts.h"

namespace kestrow {

TNoteFrm::TNoteFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    FNotes = session.LoadNotes();
    FMedia = std::make_unique<TNoteMedia>(session.Files());
    TNotes* notes = FNotes;
    const auto note = [notes](int record) -> const TNoteItem& { return notes->Notes(record); };
    std::vector<TColumn> columns{
        {QStringLiteral("Title"), 180, Qt::AlignLeft | Qt::AlignVCenter,
         [note](int r) { return ToQString(note(r).Title); },
         [note](int a, int b) { return LessAsciiNoCase(note(a).Title, note(b).Title); }},
        {QStringLiteral("Folder"), 110, Qt::AlignLeft | Qt::AlignVCenter,
         [note](int r) { return ToQString(note(r).Folder); },
         [note](int a, int b) { return LessAsciiNoCase(note(a).Folder, note(b).Folder); }},
        {QStringLiteral("Date"), 150, Qt::AlignRight | Qt::AlignVCenter,
         [note](int r) { return ToQString(DateTimeText(note(r).ModifiedDate)); },
         [note](int a, int b) { return note(a).ModifiedDate < note(b).ModifiedDate; }},
    };
    FModel = new TRowModel(std::move(columns), this);
    std::vector<int> records(notes != nullptr ? static_cast<std::size_t>(notes->Count()) : 0);
    std::iota(records.begin(), records.end(), 0);
    FModel->SetRecords(std::move(records));
    FNoteLst = new TListView(this);
    FNoteLst->SetRowModel(FModel, 0);
    auto* pane = new QWidget(this);
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    FLockPanel = MakeLockPanel();
    FNoteViewer = new THtmlPane(pane);
    paneLayout->addWidget(FLockPanel);
    paneLayout->addWidget(FNoteViewer, 1);
    auto* splitter = new QSplitter(this);
    StyleSplitter(splitter);
    splitter->addWidget(pane);
    splitter->addWidget(FNoteLst);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({560, 440});
    RememberSplitter(splitter, QStringLiteral("Notes"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    connect(FNoteLst, &TListView::RecordShown, this,
            [this](int record) { Guarded(window(), [&] { ShowNote(record); }); });
    FNoteLst->ShowFirst();
    NoteEmpty(catNotes, "No notes in this backup.");
}

TNoteFrm::~TNoteFrm() = default;

QWidget* TNoteFrm::MakeLockPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(11, 8, 11, 8);
    auto* title = new QLabel(QStringLiteral("This note is locked"), panel);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto* row = new QHBoxLayout();
    FPasswordEd = new QLineEdit(panel);
    FPasswordEd->setEchoMode(QLineEdit::Password);
    FPasswordEd->setPlaceholderText(QStringLiteral("Password"));
    FPasswordEd->setMaxLength(255);
    auto* open = new QPushButton(QStringLiteral("Open"), panel);
    row->addWidget(FPasswordEd, 1);
    row->addWidget(open);
    FLockMessageLb = new QLabel(panel);
    FLockMessageLb->setTextFormat(Qt::PlainText);
    FLockMessageLb->setWordWrap(true);
    layout->addWidget(title);
    layout->addLayout(row);
    layout->addWidget(FLockMessageLb);
    connect(FPasswordEd, &QLineEdit::returnPressed, this,
            [this] { Guarded(window(), [&] { OpenWithPassword(); }); });
    connect(open, &QPushButton::clicked, this, [this] { Guarded(window(), [&] { OpenWithPassword(); }); });
    panel->hide();
    return panel;
}

std::string TNoteFrm::NotePage(int record) const {
    const TNoteItem& note = FNotes->Notes(record);
    // Pictures are read from the backup and shown inline, scaled; other files by name.
    return BuildNotePage(note, [this, &note](const TNoteAttachment& attachment, std::size_t) {
        TNoteAttachmentView view;
        const std::string key = FMedia->KeyOf(note, attachment);
        view.InBackup = !key.empty();
        std::string bytes;
        if (!key.empty() && attachment.Kind != TNoteAttachmentKind::File &&
            FSession.LoadBackupFile(key, bytes)) {
            if (const auto picture = ChatPicture(bytes, "image/jpeg")) {
                view.Src = "data:" + picture->Mime + ";base64," + Base64Encode(picture->Bytes);
            }
        }
        return view;
    });
}

void TNoteFrm::ShowNote(int record) {
    FShown = record;
    const TNoteItem& note = FNotes->Notes(record);
    const bool shut =
        note.Lock == TNoteLock::Locked || note.Lock == TNoteLock::Passcode || note.Lock == TNoteLock::Damaged;
    FLockPanel->setVisible(shut);
    FPasswordEd->setVisible(note.Lock == TNoteLock::Locked);
    FPasswordEd->clear();
    FLockMessageLb->setText(note.Lock == TNoteLock::Passcode  ? NoteOpenText(TNoteOpenResult::Passcode)
                            : note.Lock == TNoteLock::Damaged ? NoteOpenText(TNoteOpenResult::Damaged)
                                                              : "");
    // The body is HTML by nature; the page builder shows it without scripts or remote references.
    FNoteViewer->ShowHtml(NotePage(record));
}

void TNoteFrm::OpenWithPassword() {
    if (FShown < 0) {
        return;
    }
    const std::string password = ToStdString(FPasswordEd->text());
    const TNoteOpenResult result = FNotes->OpenNote(FShown, password);
    if (result != TNoteOpenResult::Opened) {
        FPasswordEd->clear();
        FLockMessageLb->setText(QString::fromUtf8(NoteOpenText(result)));
        return;
    }
    FNotes->OpenLockedNotes({password}); // the other notes locked with it
    ShowNote(FShown);
}

bool TNoteFrm::Matches(int record, const QString& key) const {
    return MatchesSearch(FNotes->Notes(record).Body, key);
}

std::optional<TExportJob> TNoteFrm::PrepareExport() {
    return RecordsExport(ecNotes, [](TIpodBackup& session, const std::vector<int>& records, int format,
                                     const std::string& dest, const TExportControl& control) {
        return ExportNotes(session, records, format, dest, control);
    });
}

} // namespace kestrow
