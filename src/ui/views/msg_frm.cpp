#include "ui/views/msg_frm.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QSplitter>
#include <QThreadPool>
#include <QUrl>
#include <QVBoxLayout>

#include "archive/ipod_backup.h"
#include "export/chat_page.h"
#include "export/export_file.h"
#include "export/export_formats.h"
#include "export/export_path.h"
#include "export/messages_export.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "readers/heif_picture.h"
#include "readers/short_message.h"
#include "ui/html_pane.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"
#include "ui/views/picture_scaling.h"
#include "ui/views/view_parts.h"

namespace kestrow {

namespace {

// What the page shows of a picture: at most 238 by 188 pixels, HEIC/HEIF as JPEG.
std::optional<TInlinePicture> DecodeChatPicture(const std::string& bytes, const std::string& mime) {
    if (IsHeifData(bytes)) { // HEIC/HEIF: Qt cannot read it, libheif can
        std::string error;
        // 320 pixels: the thumbnail a phone embeds, a third over the shown size; a larger side
        // would decode all 12 megapixels (0.4 s a picture instead of 3 ms).
        std::optional<std::string> jpeg = HeifToJpeg(bytes, 320, error);
        return jpeg ? ChatPicture(*jpeg, "image/jpeg") : std::nullopt;
    }
    return ChatPicture(bytes, mime);
}

// The type a picture is answered with: the part's own only when it is a plain "image/…" name.
QByteArray AnswerType(const std::string& mime) {
    const bool plain =
        StartsWith(mime, "image/") &&
        mime.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789/+.-") == std::string::npos;
    return plain ? QByteArray::fromStdString(mime) : QByteArrayLiteral("application/octet-stream");
}

constexpr std::size_t kPictureCacheBytes = 32u << 20;

} // namespace

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

    AskSavePath = [this](const QString& suggested) {
        return QFileDialog::getSaveFileName(window(), QStringLiteral("Save as"),
                                            QDir::home().filePath(suggested));
    };
    OpenFile = [](const QString& file) { return QDesktopServices::openUrl(QUrl::fromLocalFile(file)); };
    FDecoders = new QThreadPool(this);
    FMsgViewer->SetResourceSource(
        [this](const QString& address, const THtmlPane::TAnswer& answer) { ServePicture(address, answer); });
    FMsgViewer->SetLinkMenu(
        [this](const QString& anchor, const QPoint& globalPos) { ShowPartMenu(anchor, globalPos); });
    connect(FMsgGroupLst, &TListView::RecordShown, this,
            [this](int record) { Guarded(window(), [&] { ShowConversation(record); }); });
    FMsgGroupLst->ShowFirst();
    NoteEmpty(catMessages, "No messages in this backup.");
}

TMsgFrm::~TMsgFrm() {
    // No decoder may answer a view that is gone: drop the waiting ones and let the running ones end
    // (their answers are posted to this view and go with it).
    FDecoders->clear();
    FDecoders->waitForDone();
}

void TMsgFrm::ShowConversation(int record) {
    if (FMessages == nullptr) {
        return;
    }
    const TMsgGroup& group = FMessages->Groups(record);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FNumLb->setText(QStringLiteral("Loading Messages From: ") + ToQString(group.DisplayName) +
                    QStringLiteral(" ..."));
    FDecoders->clear(); // the pictures of the page shown until now
    TChatPageOptions options;
    TIpodBackup& session = FSession;
    options.PicturesByAddress = true;
    options.PartInBackup = [&session](const TMsgPiece& piece) { return session.MessagePartInBackup(piece); };
    FShownGroup = record;
    IndexParts();
    FMsgViewer->ShowHtml(BuildChatPage(group, options));
    FNumLb->setText(ToQString(ChatTitle(group)));
    QApplication::restoreOverrideCursor();
}

const TMsgPiece* TMsgFrm::FindPart(const QString& anchor) const {
    const auto found = FParts.find(ToStdString(anchor));
    return found == FParts.end() ? nullptr : found->second;
}

void TMsgFrm::IndexParts() {
    FParts.clear();
    if (FMessages == nullptr || FShownGroup < 0) {
        return;
    }
    const auto add = [this](const std::vector<TMsgPiece>& pieces) {
        for (const TMsgPiece& piece : pieces) {
            if (piece.Kind != mpkText) {
                FParts.try_emplace(PartAnchor(piece), &piece);
            }
        }
    };
    for (const TMsgItem& item : FMessages->Groups(FShownGroup).Items) {
        add(item.Pieces);
        for (const TMsgReaction& reaction : item.Reactions) { // stickers placed on the message
            add(reaction.Pieces);
        }
    }
}

void TMsgFrm::ServePicture(const QString& address, const THtmlPane::TAnswer& answer) {
    // Only a picture of the conversation on screen, found by its row: never a file an address names.
    const QString prefix = QStringLiteral("part/");
    const TMsgPiece* piece =
        address.startsWith(prefix) ? FindPart(QStringLiteral("part-") + address.mid(prefix.size())) : nullptr;
    if (piece == nullptr || !IsImagePart(*piece) || piece->Hidden || !FSession.MessagePartInBackup(*piece)) {
        answer({}, {});
        return;
    }
    const std::string key = PictureAddress(*piece);
    if (const auto cached = FPictures.find(key); cached != FPictures.end()) {
        const std::optional<TInlinePicture>& picture = cached->second;
        picture ? answer(AnswerType(picture->Mime), QByteArray::fromStdString(picture->Bytes))
                : answer({}, {});
        return;
    }
    std::string bytes;
    if (!FSession.LoadMessagePart(piece->FileName, bytes, piece->Kind == mpkData ? piece->RowId : -1)) {
        answer({}, {});
        return;
    }
    // Decoding is the slow part (a HEIC thumbnail takes milliseconds): the page shows meanwhile.
    FDecoders->start([this, key, answer, bytes = std::move(bytes), mime = piece->Content] {
        std::optional<TInlinePicture> picture = DecodeChatPicture(bytes, mime);
        QMetaObject::invokeMethod(
            this,
            [this, key, answer, picture = std::move(picture)] {
                RememberPicture(key, picture);
                picture ? answer(AnswerType(picture->Mime), QByteArray::fromStdString(picture->Bytes))
                        : answer({}, {});
            },
            Qt::QueuedConnection);
    });
}

void TMsgFrm::RememberPicture(const std::string& address, const std::optional<TInlinePicture>& picture) {
    if (!FPictures.try_emplace(address, picture).second) {
        return;
    }
    FPictureOrder.push_back(address);
    FPictureBytes += picture ? picture->Bytes.size() : 0;
    while (FPictureBytes > kPictureCacheBytes && FPictureOrder.size() > 1) {
        const auto oldest = FPictures.find(FPictureOrder.front());
        FPictureBytes -= oldest->second ? oldest->second->Bytes.size() : 0;
        FPictures.erase(oldest);
        FPictureOrder.pop_front();
    }
}

bool TMsgFrm::LoadPart(const TMsgPiece& piece, std::string& bytes) {
    if (FSession.LoadMessagePart(piece.FileName, bytes, piece.Kind == mpkData ? piece.RowId : -1)) {
        return true;
    }
    ShowWarning(window(), QStringLiteral("The attachment cannot be read from the backup."));
    return false;
}

void TMsgFrm::ShowPartMenu(const QString& anchor, const QPoint& globalPos) {
    if (FindPart(anchor) == nullptr) {
        return;
    }
    // A popup, not a loop of its own: the engine's request is still being handled.
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    connect(menu->addAction(QStringLiteral("Save as\u2026")), &QAction::triggered, this,
            [this, anchor] { Guarded(window(), [&] { SavePart(anchor); }); });
    connect(menu->addAction(QStringLiteral("Open with the default application")), &QAction::triggered, this,
            [this, anchor] { Guarded(window(), [&] { OpenPart(anchor); }); });
    FPartMenu = menu;
    menu->popup(globalPos);
}

bool TMsgFrm::SavePart(const QString& anchor) {
    const TMsgPiece* piece = FindPart(anchor);
    if (piece == nullptr || !AskSavePath) {
        return false;
    }
    // The name the part came with, else its file's; only a name, never a path from the backup.
    const std::string& named = piece->TransferName.empty() ? piece->FileName : piece->TransferName;
    std::string name = SafeFileName(named.substr(named.find_last_of('/') + 1), 68, '_');
    if (name.empty() || name.find_first_not_of('_') == std::string::npos) {
        name = ExportPartName(*piece);
    }
    const QString path = AskSavePath(ToQString(name));
    std::string bytes;
    if (path.isEmpty() || !LoadPart(*piece, bytes)) {
        return false;
    }
    const std::string target = ToStdString(QFileInfo(path).absoluteFilePath());
    int error = FSession.CheckDestination(ToStdString(QFileInfo(path).absolutePath()));
    if (error == 0 && QFileInfo::exists(path)) {
        error = QFile::remove(path) ? 0 : EACCES; // the save dialog has asked to replace it
    }
    if (error == 0) {
        error = WriteNewFile(target, bytes);
    }
    if (error != 0) {
        ShowWarning(window(), QStringLiteral("Cannot write ") + path + QStringLiteral(": ") +
                                  ToQString(ErrorText(error)));
        return false;
    }
    return true;
}

bool TMsgFrm::OpenPart(const QString& anchor) {
    const TMsgPiece* piece = FindPart(anchor);
    std::string bytes;
    if (piece == nullptr || !LoadPart(*piece, bytes)) {
        return false;
    }
    // A copy of its own in the session's private folder: the other program never sees the backup.
    const std::string folder = FSession.TempFolder() + "attachments/";
    const std::string extension = SafeFileName(ExtensionOf(piece->FileName), 8, '_');
    const std::string copy =
        folder + std::to_string(++FCopies) + (extension.empty() ? std::string() : "." + extension);
    if (!FSession.HasPrivateFolder() || MakeFolders(folder) != 0 || WriteNewFile(copy, bytes) != 0) {
        ShowWarning(window(), QStringLiteral("The attachment cannot be copied for another program."));
        return false;
    }
    if (!OpenFile || !OpenFile(ToQString(copy))) {
        ShowWarning(window(), QStringLiteral("No application opens this attachment. Export it to keep it."));
        return false;
    }
    return true;
}

bool TMsgFrm::Matches(int record, const QString& key) const {
    return MatchesSearch(FMessages->Groups(record).DisplayName, key);
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
