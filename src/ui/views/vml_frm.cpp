#include "ui/views/vml_frm.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QMediaPlayer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <numeric>

#include "archive/ipod_backup.h"
#include "export/export_formats.h"
#include "export/voicemail_export.h"
#include "platform/date_time.h"
#include "readers/voicemail.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"

namespace kestrow {

namespace {

const QString kNoPlayer = QStringLiteral(
    "This system has no player for AMR audio.\rExport the voicemail to play it with another program.");

} // namespace

TVmlFrm::TVmlFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    FVoicemail = session.LoadVoiceMail();
    session.ResolveVoiceMailNames();
    TVoiceMail* voicemail = FVoicemail;
    const auto item = [voicemail](int record) -> const TVoiceMailItem& {
        return voicemail->Voicemails(record);
    };
    std::vector<TColumn> columns{
        {QString(), 22, Qt::AlignLeft | Qt::AlignVCenter, nullptr, nullptr, true},
        {QStringLiteral("Date"), 180, Qt::AlignLeft | Qt::AlignVCenter,
         [item](int r) { return ToQString(DateTimeText(item(r).Date)); },
         [item](int a, int b) { return item(a).Date < item(b).Date; }},
        {QStringLiteral("Duration"), 100, Qt::AlignLeft | Qt::AlignVCenter,
         [item](int r) { return ToQString(item(r).DurationText); },
         [item](int a, int b) { return item(a).Duration < item(b).Duration; }},
        {QStringLiteral("Number"), 180, Qt::AlignLeft | Qt::AlignVCenter,
         [item](int r) { return ToQString(item(r).Sender); },
         [item](int a, int b) { return LessAsciiNoCase(item(a).Sender, item(b).Sender); }},
        {QStringLiteral("Name"), 71, Qt::AlignLeft | Qt::AlignVCenter,
         [item](int r) { return ToQString(item(r).DisplayName); },
         [item](int a, int b) { return LessAsciiNoCase(item(a).DisplayName, item(b).DisplayName); }},
    };
    FModel = new TRowModel(std::move(columns), this);
    std::vector<int> records(voicemail != nullptr ? static_cast<std::size_t>(voicemail->Count()) : 0);
    std::iota(records.begin(), records.end(), 0);
    FModel->SetRecords(std::move(records));
    FVmailLst = new TListView(this);
    FVmailLst->SetRowModel(FModel, 4);
    connect(FVmailLst, &QAbstractItemView::doubleClicked, this, &TVmlFrm::Play);

    FPlayBtn = new QPushButton(QStringLiteral("Play"), this);
    FPlayBtn->setObjectName(QStringLiteral("PlayBtn"));
    connect(FPlayBtn, &QPushButton::clicked, this, &TVmlFrm::Play);
    auto* bar = new QHBoxLayout();
    bar->setContentsMargins(8, 4, 8, 4);
    bar->addWidget(FPlayBtn);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(FVmailLst, 1);
}

void TVmlFrm::Play() {
    const std::vector<int> selected = FVmailLst->SelectedRecords();
    if (selected.empty() || FVoicemail == nullptr) {
        return;
    }
    // The audio is decrypted (when protected) into the session's private folder.
    const std::string file =
        FSession.ExtractFile(FVoicemail->Voicemails(selected.front()).AudioPath(), ".amr");
    if (file.empty()) {
        ShowWarning(window(), QStringLiteral("Cannot read the voicemail's audio from the backup."));
        return;
    }
    if (FPlayer == nullptr) {
        FPlayer = new QMediaPlayer(this);
        FAudio = new QAudioOutput(this);
        FPlayer->setAudioOutput(FAudio);
        connect(FPlayer, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error error, const QString&) {
                    if (error != QMediaPlayer::NoError) {
                        FPlayer->stop();
                        ShowInformation(window(), kNoPlayer);
                    }
                });
    }
    FPlayer->stop();
    FPlayer->setSource(QUrl::fromLocalFile(ToQString(file)));
    FPlayer->play();
}

bool TVmlFrm::FindNext(const QString& text) {
    const std::string part = ToStdString(text);
    return FVmailLst->FindNext([this, &part](int record) {
        return ContainsAsciiNoCase(FVoicemail->Voicemails(record).DisplayName, part);
    });
}

std::optional<TExportJob> TVmlFrm::PrepareExport() {
    return RecordsExport(ecVoicemail, [](TIpodBackup& session, const std::vector<int>& records, int,
                                         const std::string& dest, const TExportControl& control) {
        return ExportVoicemail(session, records, dest, control);
    });
}

} // namespace kestrow
