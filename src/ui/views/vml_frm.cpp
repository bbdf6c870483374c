#include "ui/views/vml_frm.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <numeric>

#include "archive/ipod_backup.h"
#include "export/export_formats.h"
#include "export/voicemail_export.h"
#include "platform/date_time.h"
#include "platform/paths.h"
#include "readers/voicemail.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"

namespace kestrow {

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
    NoteEmpty(catVoicemails, "No voicemails in this backup.");
    connect(FVmailLst, &QAbstractItemView::doubleClicked, this, &TVmlFrm::Play);

    FPlayBtn = new QPushButton(QStringLiteral("Play"), this);
    FPlayBtn->setObjectName(QStringLiteral("PlayBtn"));
    connect(FPlayBtn, &QPushButton::clicked, this, &TVmlFrm::Play);
    FStateLb = new QLabel(this);
    FStateLb->setObjectName(QStringLiteral("StateLb"));
    FStateLb->setTextFormat(Qt::PlainText);
    FStateLb->setWordWrap(true);
    OpenFile = [](const QString& file) { return QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };
    auto* bar = new QHBoxLayout();
    bar->setContentsMargins(8, 4, 8, 4);
    bar->addWidget(FPlayBtn);
    bar->addWidget(FStateLb, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(bar);
    layout->addWidget(FVmailLst, 1);
}

void TVmlFrm::Play() {
    std::vector<int> chosen = FVmailLst->SelectedRecords();
    if (chosen.empty() || FVoicemail == nullptr) {
        return;
    }
    const int record = chosen.front();
    // Qt's audio thread ends the process on a machine without an audio output: no player there.
    if (QMediaDevices::audioOutputs().isEmpty()) {
        OpenOutside(record, QStringLiteral("No audio output is available."));
        return;
    }
    // The audio is decrypted (when protected) into the session's private folder.
    const std::string file = FSession.ExtractFile(FVoicemail->Voicemails(record).AudioPath(), ".amr");
    if (file.empty()) {
        ShowState(QStringLiteral("Cannot read the voicemail's audio from the backup."));
        return;
    }
    if (FPlayer == nullptr) {
        FPlayer = new QMediaPlayer(this);
        FAudio = new QAudioOutput(this);
        FPlayer->setAudioOutput(FAudio);
        connect(FPlayer, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error error, const QString& text) {
                    if (error != QMediaPlayer::NoError) {
                        FPlayer->stop();
                        OpenOutside(FPlaying, QStringLiteral("The voicemail cannot be played here: ") + text);
                    }
                });
    }
    FPlaying = record;
    ShowState(QString());
    FPlayer->stop();
    FPlayer->setSource(QUrl::fromLocalFile(ToQString(file)));
    FPlayer->play();
}

void TVmlFrm::OpenOutside(int record, const QString& reason) {
    // A copy of its own, so the other program never sees a file of the backup or the player's.
    const std::string folder = FSession.TempFolder() + "voicemail/";
    const std::string copy = folder + std::to_string(++FCopies) + ".amr";
    if (record < 0 || !FSession.HasPrivateFolder() || MakeFolders(folder) != 0 ||
        !FSession.CopyBackupFile(FVoicemail->Voicemails(record).AudioPath(), copy)) {
        ShowState(reason + QStringLiteral("\nThe voicemail's audio cannot be read from the backup."));
        return;
    }
    if (OpenFile && OpenFile(ToQString(copy))) {
        ShowState(reason + QStringLiteral("\nOpened with the desktop's default application."));
        return;
    }
    ShowState(reason + QStringLiteral("\nExport the voicemail to play it with another program."));
}

void TVmlFrm::ShowState(const QString& text) {
    FStateLb->setText(text);
    FStateLb->setToolTip(text);
}

bool TVmlFrm::Matches(int record, const QString& key) const {
    return MatchesSearch(FVoicemail->Voicemails(record).DisplayName, key);
}

std::optional<TExportJob> TVmlFrm::PrepareExport() {
    return RecordsExport(ecVoicemail, [](TIpodBackup& session, const std::vector<int>& records, int,
                                         const std::string& dest, const TExportControl& control) {
        return ExportVoicemail(session, records, dest, control);
    });
}

} // namespace kestrow
