#include "ui/views/call_frm.h"

#include <QIcon>
#include <QPainter>
#include <QVBoxLayout>
#include <array>
#include <numeric>

#include "archive/ipod_backup.h"
#include "export/calls_export.h"
#include "export/export_formats.h"
#include "platform/date_time.h"
#include "readers/call_log.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"

namespace kestrow {

namespace {

bool IsMissed(int kind) {
    return kind == ckMissed || kind == ckFaceTimeMissed;
}

QString DateCell(double date) {
    return date == 0 ? QString() : ToQString(DateTimeText(date));
}

} // namespace

QIcon CallKindIcon(int kind) {
    if (kind < 0 || kind > 6) {
        return {};
    }
    // A phone call is a round mark, a FaceTime call a square one; the arrow says which way.
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool faceTime = kind >= 3 && kind <= 5;
    const QColor colour = IsMissed(kind) ? QColor(0xFF, 0, 0)
                          : kind == 6    ? QColor(0x99, 0x99, 0x99)
                                         : QColor(0x1A, 0x8F, 0x3C);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    if (faceTime) {
        painter.drawRoundedRect(1, 1, 14, 14, 3, 3);
    } else {
        painter.drawEllipse(1, 1, 14, 14);
    }
    painter.setPen(QPen(Qt::white, 2));
    const bool outgoing = kind == ckOutgoing || kind == ckFaceTimeOut || kind == ckNotConnected;
    if (outgoing) {
        painter.drawLine(5, 11, 11, 5);
        painter.drawLine(11, 5, 7, 5);
        painter.drawLine(11, 5, 11, 9);
    } else {
        painter.drawLine(11, 5, 5, 11);
        painter.drawLine(5, 11, 9, 11);
        painter.drawLine(5, 11, 5, 7);
    }
    return QIcon(pixmap);
}

TCallFrm::TCallFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    FCalls = session.LoadCallLog();
    session.ResolveCallNames();
    TCallLog* calls = FCalls;
    const auto call = [calls](int record) -> const TCallItem& {
        return calls->List()[static_cast<std::size_t>(record)];
    };
    std::vector<TColumn> columns{
        {QString(), 24, Qt::AlignLeft | Qt::AlignVCenter, nullptr,
         [call](int a, int b) { return call(a).CallKind < call(b).CallKind; }, true},
        {QStringLiteral("Date"), 188, Qt::AlignLeft | Qt::AlignVCenter,
         [call](int r) { return DateCell(call(r).Date); },
         [call](int a, int b) { return call(a).Date < call(b).Date; }},
        {QStringLiteral("Duration"), 88, Qt::AlignLeft | Qt::AlignVCenter,
         [call](int r) { return ToQString(call(r).DurationText); },
         [call](int a, int b) { return call(a).Duration < call(b).Duration; }},
        {QStringLiteral("Number"), 180, Qt::AlignLeft | Qt::AlignVCenter,
         [call](int r) { return ToQString(call(r).Address); },
         [call](int a, int b) { return LessAsciiNoCase(call(a).Address, call(b).Address); }},
        {QStringLiteral("Name"), 73, Qt::AlignLeft | Qt::AlignVCenter,
         [call](int r) { return ToQString(call(r).DisplayName); },
         [call](int a, int b) { return LessAsciiNoCase(call(a).DisplayName, call(b).DisplayName); }},
    };
    FModel = new TRowModel(std::move(columns), this);
    auto icons = std::make_shared<std::array<QIcon, 7>>();
    for (int kind = 0; kind < 7; ++kind) {
        (*icons)[static_cast<std::size_t>(kind)] = CallKindIcon(kind);
    }
    FModel->SetRoleData([call, icons](int record, int column, int role) -> QVariant {
        const int kind = call(record).CallKind;
        if (role == Qt::ForegroundRole && IsMissed(kind)) {
            return QColor(0xFF, 0, 0);
        }
        if (role == Qt::DecorationRole && column == 0 && kind >= 0 && kind < 7) {
            return (*icons)[static_cast<std::size_t>(kind)];
        }
        return {};
    });
    std::vector<int> records(calls != nullptr ? static_cast<std::size_t>(calls->Count()) : 0);
    std::iota(records.begin(), records.end(), 0);
    FModel->SetRecords(std::move(records));
    FCallLst = new TListView(this);
    FCallLst->SetRowModel(FModel, 4);
    NoteEmpty(catCalls, "No calls in this backup.");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FCallLst);
}

bool TCallFrm::Matches(int record, const QString& key) const {
    return MatchesSearch(FCalls->List()[static_cast<std::size_t>(record)].DisplayName, key);
}

std::optional<TExportJob> TCallFrm::PrepareExport() {
    // As every list: the selected calls in list order, all of them when none is selected.
    return RecordsExport(ecCalls, [](TIpodBackup& session, const std::vector<int>& records, int format,
                                     const std::string& dest, const TExportControl& control) {
        return ExportCalls(session, records, format, dest, control);
    });
}

} // namespace kestrow
