#include "ui/views/cld_frm.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QVBoxLayout>
#include <numeric>

#include "archive/ipod_backup.h"
#include "export/calendar_export.h"
#include "export/export_formats.h"
#include "platform/date_time.h"
#include "readers/calendar.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"
#include "ui/views/view_parts.h"

namespace kestrow {

namespace {

QString DateCell(double date) {
    return date == 0 ? QString() : ToQString(DateTimeText(date));
}

} // namespace

TCldFrm::TCldFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    FCalendar = session.LoadCalendar();
    TCalendar* calendar = FCalendar;
    const auto event = [calendar](int record) -> const TCalendarItem& { return calendar->Events(record); };
    std::vector<TColumn> columns{
        {QStringLiteral("Start"), 160, Qt::AlignLeft | Qt::AlignVCenter,
         [event](int r) { return DateCell(event(r).StartDate); },
         [event](int a, int b) { return event(a).StartDate < event(b).StartDate; }},
        {QStringLiteral("End"), 160, Qt::AlignLeft | Qt::AlignVCenter,
         [event](int r) { return DateCell(event(r).EndDate); },
         [event](int a, int b) { return event(a).EndDate < event(b).EndDate; }},
        {QStringLiteral("Title"), 10, Qt::AlignLeft | Qt::AlignVCenter,
         [event](int r) { return ToQString(event(r).Title); },
         [event](int a, int b) { return LessAsciiNoCase(event(a).Title, event(b).Title); }},
        {QStringLiteral("Location"), 100, Qt::AlignLeft | Qt::AlignVCenter,
         [event](int r) { return ToQString(event(r).Location); },
         [event](int a, int b) { return LessAsciiNoCase(event(a).Location, event(b).Location); }},
    };
    FModel = new TRowModel(std::move(columns), this);
    std::vector<int> records(calendar != nullptr ? static_cast<std::size_t>(calendar->Count()) : 0);
    std::iota(records.begin(), records.end(), 0);
    FModel->SetRecords(std::move(records));
    FEventLst = new TListView(this);
    FEventLst->SetRowModel(FModel, 2);

    auto* pane = new QWidget(this);
    pane->setMinimumWidth(177);
    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(MakeCaptionBar(QStringLiteral("Comment"), pane));
    FNoteMm = new QPlainTextEdit(pane);
    FNoteMm->setObjectName(QStringLiteral("NoteMm"));
    FNoteMm->setReadOnly(true);
    FNoteMm->setFrameShape(QFrame::NoFrame);
    FNoteMm->setContextMenuPolicy(Qt::NoContextMenu);
    FNoteMm->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    FNoteMm->installEventFilter(this);
    paneLayout->addWidget(FNoteMm, 1);

    auto* splitter = new QSplitter(this);
    StyleSplitter(splitter);
    splitter->addWidget(FEventLst);
    splitter->addWidget(pane);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({800, 177});
    RememberSplitter(splitter, QStringLiteral("Calendar"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);
    connect(FEventLst, &TListView::RecordShown, this, [this](int record) {
        FNoteMm->setPlainText(QStringLiteral("\n") + ToQString(FCalendar->Events(record).Description));
    });
    FEventLst->ShowFirst();
    NoteEmpty(catCalendar, "No calendar events in this backup.");
}

bool TCldFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FNoteMm && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_C && (key->modifiers() & Qt::ControlModifier)) {
            FNoteMm->setPlainText(QStringLiteral("Please use the Export function."));
            return true;
        }
    }
    return TCategoryView::eventFilter(watched, event);
}

bool TCldFrm::Matches(int record, const QString& key) const {
    const TCalendarItem& item = FCalendar->Events(record);
    return MatchesSearch(item.Title, key) || MatchesSearch(item.Description, key);
}

std::optional<TExportJob> TCldFrm::PrepareExport() {
    return RecordsExport(ecCalendar, [](TIpodBackup& session, const std::vector<int>& records, int,
                                        const std::string& dest, const TExportControl& control) {
        return ExportCalendar(session, records, dest, control);
    });
}

} // namespace kestrow
