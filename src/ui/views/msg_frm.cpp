#include "ui/views/msg_frm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

#include "archive/ipod_backup.h"
#include "export/chat_page.h"
#include "export/export_formats.h"
#include "export/messages_export.h"
#include "platform/date_time.h"
#include "readers/heif_picture.h"
#include "readers/short_message.h"
#include "ui/html_pane.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"
#include "ui/views/picture_scaling.h"
#include "ui/views/view_parts.h"

namespace kestrow {

TMsgFrm::TMsgFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    FMessages = session.LoadMessages();
    session.ResolveMessageNames();
    TShortMessage* messages = FMessages;
    const auto group = [messages](int record) -> const TMsgGroup& { return messages->Groups(record); };
    std::vector<TColumn> columns{
        {QStringLiteral("Contacts"), 220, Qt::AlignLeft | Qt::AlignVCenter,
         [group](int r) { return ToQString(group(r).DisplayName); },
         [group](int a, int b) { return LessAsciiNoCase(group(a).DisplayName, group(b).DisplayName); }},
        {QStringLiteral("Count"), 80, Qt::AlignRight | Qt::AlignVCenter,
         [group](int r) { return QString::number(group(r).ItemCount()); },
         [group](int a, int b) { return group(a).ItemCount() < group(b).ItemCount(); }},
    };
    FModel = new TRowModel(std::move(columns), this);
    if (messages != nullptr) {
        FModel->SetRecords(ListedConversations(*messages));
    }
    FMsgGroupLst = new TListView(this);
    FMsgGroupLst->SetRowModel(FModel, 0);

    auto* left = new QWidget(this);
    left->setStyleSheet(QStringLiteral("background:#F8F8F8"));
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    leftLayout->addWidget(MakeCaptionBar(QStringLiteral("Messages"), left, &FNumLb));
    FMsgViewer = new THtmlPane(left);
    leftLayout->addWidget(FMsgViewer, 1);
    auto* splitter = new QSplitter(this);
    StyleSplitter(splitter);
    splitter->addWidget(left);
    splitter->addWidget(FMsgGroupLst);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({700, 300});
    RememberSplitter(splitter, QStringLiteral("Messages"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(FMsgGroupLst, &TListView::RecordShown, this,
            [this](int record) { Guarded(window(), [&] { ShowConversation(record); }); });
    FMsgGroupLst->ShowFirst();
    NoteEmpty(catMessages, "No messages in this backup.");
}

void TMsgFrm::ShowConversation(int record) {
    if (FMessages == nullptr) {
        return;
    }
    const TMsgGroup& group = FMessages->Groups(record);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FNumLb->setText(QStringLiteral("Loading Messages From: ") + ToQString(group.DisplayName) +
                    QStringLiteral(" ..."));
    TChatPageOptions options;
    TIpodBackup& session = FSession;
    options.InlinePicture = [&session](const TMsgItem&,
                                       const TMsgPiece& piece) -> std::optional<TInlinePicture> {
        std::string bytes;
        if (!session.LoadMessagePart(piece.FileName, bytes, piece.Kind == 1 ? piece.RowId : -1)) {
            return std::nullopt;
        }
        if (IsHeifData(bytes)) { // HEIC/HEIF: Qt cannot read it, libheif can
            std::string error;
            // 320 pixels: the thumbnail a phone embeds, a third over the shown size; a larger side
            // would decode all 12 megapixels (0.4 s a picture instead of 3 ms).
            std::optional<std::string> jpeg = HeifToJpeg(bytes, 320, error);
            return jpeg ? ChatPicture(*jpeg, "image/jpeg") : std::nullopt;
        }
        return ChatPicture(bytes, piece.Content);
    };
    options.PartInBackup = [&session](const TMsgPiece& piece) { return session.MessagePartInBackup(piece); };
    FMsgViewer->ShowHtml(BuildChatPage(group, options));
    FNumLb->setText(ToQString(ChatTitle(group)));
    QApplication::restoreOverrideCursor();
}

bool TMsgFrm::FindNext(const QString& text) {
    const QString key = SearchKey(text);
    return FMsgGroupLst->FindNext(
        [this, &key](int record) { return MatchesSearch(FMessages->Groups(record).DisplayName, key); });
}

std::optional<TExportJob> TMsgFrm::PrepareExport() {
    const std::string exportedAt = DateTimeText(NowLocalDays());
    auto job = RecordsExport(ecMessages,
                             [exportedAt](TIpodBackup& session, const std::vector<int>& records, int format,
                                          const std::string& dest, const TExportControl& control) {
                                 return ExportMessages(session, records, format, dest, exportedAt, control);
                             });
    if (job) {
        job->After = [this] {
            if (FMessages != nullptr) {
                FMessages->CloseDatabase(); // the part data the pages needed
            }
        };
    }
    return job;
}

} // namespace kestrow
