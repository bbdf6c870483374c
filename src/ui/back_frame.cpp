#include "ui/back_frame.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "archive/backup_read_thread.h"
#include "archive/ipod_backup.h"
#include "archive/photo_library.h"
#include "device/backup_tool.h"
#include "device/ios_helper.h"
#include "platform/date_time.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "ui/app_info.h"
#include "ui/bk_select_form.h"
#include "ui/category_view.h"
#include "ui/export_job.h"
#include "ui/list_view.h"
#include "ui/pass_form.h"
#include "ui/qt_text.h"
#include "ui/views/ab_frm.h"
#include "ui/views/call_frm.h"
#include "ui/views/cld_frm.h"
#include "ui/views/file_frm.h"
#include "ui/views/msg_frm.h"
#include "ui/views/note_frm.h"
#include "ui/views/photo_frm.h"
#include "ui/views/sfr_frm.h"
#include "ui/views/vml_frm.h"

namespace kestrow {

namespace {

struct TButtonInfo {
    const char* Caption;
    int Category;
};

// Toolbar order; the position is the view number (switching, search, export category).
constexpr std::array<TButtonInfo, TBackFrame::kViewCount> kButtons{{
    {"Contacts", catContacts},
    {"Messages", catMessages},
    {"Calls", catCalls},
    {"Notes", catNotes},
    {"Calendar", catCalendar},
    {"Bookmarks", catBookmarks},
    {"Voicemails", catVoicemails},
    {"Files", catFiles},
    {"Photos", catPhotos},
}};

QString BackupDateText(double date) {
    return ToQString(DateTimeText(date));
}

// A partial export is never reported as a complete one: the first failures with their reasons.
QString FailureText(const std::vector<TExportFailure>& failures) {
    QString text = QString::number(failures.size()) + QStringLiteral(" item(s) could not be written:");
    constexpr std::size_t kShown = 5;
    for (std::size_t i = 0; i < failures.size() && i < kShown; ++i) {
        text += QLatin1Char('\r') + ToQString(failures[i].Target) + QStringLiteral(": ") +
                ToQString(failures[i].Reason.empty() ? ErrorText(failures[i].Error) : failures[i].Reason);
    }
    if (failures.size() > kShown) {
        text += QStringLiteral("\r...");
    }
    return text;
}

} // namespace

int CategoryOfView(int view) {
    return kButtons[static_cast<std::size_t>(view)].Category;
}

TBackFrame::TBackFrame(const std::string& root, TDeviceGetter device, QWidget* parent)
    : QWidget(parent), FSession(std::make_unique<TIpodBackup>(root)), FDevice(std::move(device)) {
    setObjectName(QStringLiteral("BackFrame"));
    FExport = new TExportRunner(this);
    connect(FExport, &TExportRunner::Progress, this, &TBackFrame::ShowExportProgress);
    connect(FExport, &TExportRunner::Finished, this, &TBackFrame::FinishExport);
    OpenFolder = [](const QString& folder) { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
    PickFolder = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(window(), QStringLiteral("Open folder"), start);
    };
    BuildLayout();
    ShowStartState();
}

TBackFrame::~TBackFrame() {
    // The opening thread never waits for this thread, so waiting for it here cannot deadlock;
    // its posted events die with this object.
    FReadThd.reset();
    delete FExport; // stops and waits for a running export
    FExport = nullptr;
    FreeViews();
}

void TBackFrame::BuildLayout() {
    FShp = new QFrame(this);
    FShp->setFixedHeight(6);
    FShp->setStyleSheet(QStringLiteral("background:#F6F6F6;border:none"));
    FShp->setVisible(false);
    FBkTb = new QToolBar(this);
    FBkTb->setObjectName(QStringLiteral("BkTb"));
    FBkTb->setIconSize(QSize(24, 24));
    FBkTb->setToolButtonStyle(Qt::ToolButtonTextOnly);
    FBkTb->setStyleSheet(QStringLiteral(
        "QToolBar{border:none;background:qlineargradient(x1:0,y1:0,x2:0,y2:1,stop:0 #FFFFFF,stop:1 #ECECEC)}"
        "QToolButton{min-height:30px;padding:0 "
        "14px}QToolButton:checked{background:#D9E8FB;border-radius:3px}"
        "QToolButton:focus{border:1px solid #0069D9;border-radius:3px}"));
    FBkTb->setVisible(false);
    // No button group: ShowCategory keeps one button checked. A group would take every button but
    // the checked one out of the Tab chain.
    for (int view = 0; view < kViewCount; ++view) {
        auto* button = new QToolButton(FBkTb);
        button->setText(QString::fromLatin1(kButtons[static_cast<std::size_t>(view)].Caption));
        button->setToolTip(button->text());
        button->setCheckable(true);
        button->setEnabled(false);
        FBkTb->addWidget(button);
        connect(button, &QToolButton::clicked, this, [this, view] { ShowCategory(view); });
        FButtons[static_cast<std::size_t>(view)] = button;
    }

    auto* line = new QFrame(this);
    line->setFixedHeight(1);
    line->setStyleSheet(QStringLiteral("background:#E0E0E0;border:none"));
    FFrmPnl = new QStackedWidget(this);
    FStartPage =
        new QLabel(QStringLiteral("No backup is open.\n\nOpen (the folder button, or Ctrl+O) chooses a "
                                  "backup.\nA backup folder, or a folder of backups, can also be "
                                  "dropped on this window."),
                   FFrmPnl);
    FStartPage->setObjectName(QStringLiteral("StartPage"));
    FStartPage->setAlignment(Qt::AlignCenter);
    FStartPage->setTextFormat(Qt::PlainText);
    FFrmPnl->addWidget(FStartPage);
    FStartText = FStartPage->text();
    FStatus = new QLabel(this);
    FStatus->setObjectName(QStringLiteral("StatusText"));
    FStatus->setTextFormat(Qt::PlainText);
    FStatus->setMinimumWidth(380);
    FStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // long texts never widen the window
    FWorkingPb = new QProgressBar(this);
    FWorkingPb->setTextVisible(false);
    FWorkingPb->setFixedWidth(60); // the 100-pixel panel less 40
    FWorkingPb->setVisible(false);
    FCancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    FCancelBtn->setVisible(false);
    connect(FCancelBtn, &QPushButton::clicked, this, [this] { FExport->Stop(); });
    auto* statusBar = new QWidget(this);
    statusBar->setFixedHeight(24);
    auto* status = new QHBoxLayout(statusBar);
    status->setContentsMargins(4, 0, 4, 0);
    status->addWidget(FStatus, 1);
    status->addWidget(FWorkingPb);
    status->addWidget(FCancelBtn);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FShp);
    layout->addWidget(FBkTb);
    layout->addWidget(line);
    layout->addWidget(FFrmPnl, 1);
    layout->addWidget(statusBar);
}

void TBackFrame::SetStatus(const QString& text) {
    FStatus->setText(QStringLiteral("  ") + text);
}

QString TBackFrame::StatusText() const {
    return FStatus->text();
}

bool TBackFrame::Busy() const {
    return FWorkingPb->isVisible() || FReadThd != nullptr || Exporting();
}

bool TBackFrame::Exporting() const {
    return FExport != nullptr && FExport->Running();
}

QString TBackFrame::ConnectedDeviceName() const {
    const TIosHelper* helper = FDevice ? FDevice() : nullptr;
    return helper != nullptr ? ToQString(helper->Name()) : QString();
}

void TBackFrame::ChooseBackup() {
    const TIosHelper* helper = FDevice ? FDevice() : nullptr;
    const bool connected = helper != nullptr && helper->Connected();
    const std::string uniqueId = connected ? helper->UniqueId() : std::string();
    if (FSession->Backups().empty() && !(connected && helper->Ready() && !uniqueId.empty())) {
        QMessageBox box(QMessageBox::Warning, TAppInfo::ProductName(),
                        MessageText(QStringLiteral("Cannot find iOS backup in this computer.\rPlease back up "
                                                   "your device in the iTunes first.\r\rSearched folder: ") +
                                    ToQString(FSession->Root())),
                        QMessageBox::Ok, window());
        box.setTextFormat(Qt::PlainText);
        QPushButton* open = box.addButton(QStringLiteral("Open folder..."), QMessageBox::ActionRole);
        box.setDefaultButton(open);
        box.exec();
        if (box.clickedButton() == open) {
            PickRoot();
        }
        return;
    }
    int chosen = -1;
    {
        TBkSelectForm dialog(window());
        if (connected) {
            dialog.AddRow(ToQString(helper->Name()), QStringLiteral("Connected"), -2);
        }
        const auto& backups = FSession->Backups();
        for (std::size_t i = 0; i < backups.size(); ++i) {
            dialog.AddRow(ToQString(backups[i].DeviceName), BackupDateText(backups[i].LastBackupDate),
                          static_cast<int>(i), backups[i].IsEncrypted);
        }
        dialog.SelectRow(PreselectedIndex());
        const int result = dialog.exec();
        if (result == TBkSelectForm::kOpenFolder) {
            PickRoot();
            return;
        }
        if (result != QDialog::Accepted) {
            return;
        }
        chosen = dialog.SelectedIndex();
    }
    if (chosen == FSession->CurrentIndex()) {
        return;
    }
    if (chosen < 0) {
        const TIosHelper* now = FDevice ? FDevice() : nullptr;
        if (now != nullptr && now->Connected()) {
            RefreshDevice(now->UniqueId());
        }
        return;
    }
    OpenIndex(chosen);
}

int TBackFrame::PreselectedIndex() const {
    const auto& backups = FSession->Backups();
    if (FSession->CurrentIndex() >= 0) {
        return FSession->CurrentIndex();
    }
    const QSettings settings(TAppInfo::OrganizationName(), TAppInfo::ProductName());
    const std::string last = FPreselect.empty()
                                 ? ToStdString(settings.value(QStringLiteral("LastBackup")).toString())
                                 : WithTrailingSlash(FPreselect);
    int newest = -1;
    for (std::size_t i = 0; i < backups.size(); ++i) {
        if (!last.empty() && backups[i].Path == last) {
            return static_cast<int>(i);
        }
        if (newest < 0 ||
            backups[i].LastBackupDate > backups[static_cast<std::size_t>(newest)].LastBackupDate) {
            newest = static_cast<int>(i);
        }
    }
    return newest;
}

bool TBackFrame::SetRoot(const std::string& root, const std::string& preselect) {
    if (Busy()) {
        ShowInformation(window(), QStringLiteral("Please wait until all the data has been loaded."));
        return false;
    }
    FreeViews();
    FSession = std::make_unique<TIpodBackup>(root);
    FPreviousIdx = -1;
    FCurrentPassword.clear();
    FPreselect = preselect;
    ShowStartState();
    emit StateChanged();
    ChooseBackup();
    FPreselect.clear();
    return true;
}

void TBackFrame::PickRoot() {
    const QString folder = PickFolder ? PickFolder(ToQString(FSession->Root())) : QString();
    if (!folder.isEmpty()) {
        SetRoot(ToStdString(folder));
    }
}

void TBackFrame::ShowStartState() {
    FBkTb->setVisible(false);
    FShp->setVisible(false);
    FStartPage->setText(FStartText);
    FFrmPnl->setCurrentWidget(FStartPage);
    FFrmPnl->setVisible(true);
    for (QToolButton* button : FButtons) {
        button->setEnabled(false);
        button->setChecked(false);
    }
    FViewShown = false;
    SetStatus(QStringLiteral("No backup is open."));
}

bool TBackFrame::CanExport() const {
    const int view = ActiveCategory();
    return view >= 0 && !Busy() && FViews[static_cast<std::size_t>(view)]->CanExport();
}

QString TBackFrame::AskPassword(int idx) {
    const TIphoneBackup& backup = FSession->Backups()[static_cast<std::size_t>(idx)];
    TPassForm dialog(window());
    dialog.SetKeyBag(backup.KeyBag);
    dialog.SetLabel(ToQString(backup.DeviceName) + QLatin1Char('@') + BackupDateText(backup.LastBackupDate));
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return ToQString(dialog.Password());
}

void TBackFrame::StartLoading(const QString& status) {
    SetStatus(status);
    FWorkingPb->setRange(0, 0); // moving
    FWorkingPb->setVisible(true);
    FBkTb->setVisible(false);
    FShp->setVisible(false);
    FViewShown = false;
    FreeViews();
    FStartPage->clear(); // the page under the views while none is there
    FSession->CloseReaders();
}

void TBackFrame::OpenIndex(int idx) {
    if (idx == FSession->CurrentIndex() || idx < 0 ||
        static_cast<std::size_t>(idx) >= FSession->Backups().size() || FReadThd) {
        return;
    }
    QString password;
    if (FSession->Backups()[static_cast<std::size_t>(idx)].IsEncrypted) {
        password = AskPassword(idx);
        if (password.isEmpty()) {
            return;
        }
    }
    FPreviousIdx = FSession->CurrentIndex();
    FPreviousPassword = FCurrentPassword;
    StartOpening(idx, password);
}

void TBackFrame::StartOpening(int idx, const QString& password) {
    FOpeningIdx = idx;
    FOpeningPassword = password;
    StartLoading(QStringLiteral("Loading ..."));
    emit StateChanged();
    FReadThd =
        TIpodBackReadThd::CreateForIndex(FSession.get(), idx, ToStdString(password), [this](std::uint8_t s) {
            QMetaObject::invokeMethod(
                this, [this, s] { OnOpenDone(s); }, Qt::QueuedConnection);
        });
}

void TBackFrame::RefreshDevice(const std::string& uniqueId) {
    if (FReadThd) {
        return;
    }
    int index = -1;
    FindNewestBackup(FSession->Backups(), uniqueId, index);
    if (index < 0) {
        ShowInformation(window(),
                        QStringLiteral("Please back up your device in the iTunes.\rThen, run this program "
                                       "again to read the content of created backup."));
        return;
    }
    const TIphoneBackup& backup = FSession->Backups()[static_cast<std::size_t>(index)];
    const QString question = QStringLiteral("Do you want to overwrite the local backup:\r\"") +
                             ToQString(backup.DeviceName) + QLatin1Char('@') +
                             BackupDateText(backup.LastBackupDate) +
                             QStringLiteral("\"\rwith the content of ") + ConnectedDeviceName() +
                             QStringLiteral("\rThis will take several minutes to complete.");
    if (!AskOkCancel(window(), question)) {
        return;
    }
    QString password;
    if (backup.IsEncrypted) {
        password = AskPassword(index);
        if (password.isEmpty()) {
            return;
        }
    }
    FPreviousIdx = -1; // the refresh replaces the backup that was open
    FOpeningIdx = index;
    FOpeningPassword = password;
    StartLoading(QStringLiteral("Updating the backup, please wait ..."));
    FRefreshing = true;
    emit StateChanged();
    TIpodBackup* session = FSession.get();
    const auto tool = [session](const std::string& id, std::string& errorText) {
        return RunBackupTool(BackupToolPath(), id, session->Root(), errorText);
    };
    const auto onTool = [this](bool ok, const std::string&) {
        QMetaObject::invokeMethod(
            this, [this, ok] { OnToolDone(ok); }, Qt::QueuedConnection);
    };
    const auto onDone = [this](std::uint8_t s) {
        QMetaObject::invokeMethod(
            this, [this, s] { OnOpenDone(s); }, Qt::QueuedConnection);
    };
    FReadThd = TIpodBackReadThd::CreateForDevice(session, uniqueId, ToStdString(password), onTool, onDone,
                                                 true, tool);
}

void TBackFrame::OnToolDone(bool ok) {
    // The opening thread has written the tool's failure text into the session log already.
    FRefreshing = false;
    SetStatus(QStringLiteral("Loading ..."));
    if (!ok) {
        ShowWarning(window(), QStringLiteral("Cannot back up ") + ConnectedDeviceName() +
                                  QStringLiteral(".\rPlease back up the device from iTunes."));
    }
}

void TBackFrame::OnOpenDone(int status) {
    FReadThd.reset(); // its last act was to post this event
    FRefreshing = false;
    FWorkingPb->setVisible(false);
    if (status == osOpened) {
        FCurrentPassword = FOpeningPassword;
        FBkTb->setVisible(true);
        FBkTb->setEnabled(true);
        FShp->setVisible(true);
        SetStatus(ToQString(FSession->CurrentDeviceName() + " @ " + FSession->CurrentBackupDate()));
        EnableCategories();
        QSettings settings(TAppInfo::OrganizationName(), TAppInfo::ProductName());
        settings.setValue(
            QStringLiteral("LastBackup"),
            ToQString(FSession->Backups()[static_cast<std::size_t>(FSession->CurrentIndex())].Path));
    } else {
        FCurrentPassword.clear();
        ShowStartState();
        const QString text = OpenFailureText(status);
        emit StateChanged();
        ShowWarning(window(), text);
        // The backup that was open before is open again, as if the failed one had not been chosen.
        if (FPreviousIdx >= 0 && FPreviousIdx != FOpeningIdx && FReadThd == nullptr) {
            const int previous = FPreviousIdx;
            FPreviousIdx = -1;
            StartOpening(previous, FPreviousPassword);
        }
    }
    emit OpeningDone(status);
    emit StateChanged();
}

QString TBackFrame::OpenFailureText(int status) const {
    QString text = ToQString(OpenStatusText(static_cast<std::uint8_t>(status)));
    if (text.endsWith(QLatin1Char('\r'))) {
        text.chop(1);
    }
    std::string folder;
    if (FOpeningIdx >= 0 && static_cast<std::size_t>(FOpeningIdx) < FSession->Backups().size()) {
        folder = FSession->Backups()[static_cast<std::size_t>(FOpeningIdx)].Path;
    }
    const auto present = [&folder](const char* name) { return !folder.empty() && PathExists(folder + name); };
    QString reason;
    if (status == osNoBackup) {
        reason = QStringLiteral("The backup's folder cannot be read.");
    } else if (status == osEncryptedNoManifest) {
        reason = QStringLiteral("It has no manifest that can be read.");
    } else if (status == osNoFile) {
        const char* manifest = present("Manifest.db")      ? "Manifest.db"
                               : present("Manifest.mbdb")  ? "Manifest.mbdb"
                               : present("Manifest.plist") ? "Manifest.plist"
                                                           : nullptr;
        reason = manifest != nullptr ? QStringLiteral("Its manifest (%1) cannot be read or lists no file.")
                                           .arg(QString::fromLatin1(manifest))
                                     : QStringLiteral("It has no manifest that lists its files.");
    }
    if (!folder.empty()) {
        reason += QStringLiteral("\rFolder: ") + ToQString(folder);
    }
    return reason.isEmpty() ? text : text + QLatin1Char('\r') + reason;
}

void TBackFrame::EnableCategories() {
    for (int view = 0; view < kViewCount; ++view) {
        const int category = CategoryOfView(view);
        FButtons[static_cast<std::size_t>(view)]->setEnabled(
            category == catPhotos ? HasPhotos(*FSession) : FSession->HasCategory(category));
    }
    FViewShown = false;
    for (int view = 0; view < kViewCount; ++view) {
        QToolButton* button = FButtons[static_cast<std::size_t>(view)];
        if (button->isEnabled()) {
            button->setChecked(true);
            ShowCategory(view);
            FViewShown = true;
            return;
        }
    }
}

void TBackFrame::ShowCategory(int view) {
    if (view < 0 || view >= kViewCount) {
        FFrmPnl->setVisible(false);
        return;
    }
    TCategoryView*& slot = FViews[static_cast<std::size_t>(view)];
    if (slot == nullptr) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Guarded(window(), [&] { slot = CreateView(view); });
        QApplication::restoreOverrideCursor();
        if (slot == nullptr) {
            FButtons[static_cast<std::size_t>(view)]->setChecked(false);
            return;
        }
        FFrmPnl->addWidget(slot);
    }
    Guarded(window(), [&] { slot->Filter(FFilterText); });
    FFrmPnl->setCurrentWidget(slot);
    FFrmPnl->setVisible(true);
    for (int other = 0; other < kViewCount; ++other) {
        FButtons[static_cast<std::size_t>(other)]->setChecked(other == view);
    }
    SetStatus(ToQString(FSession->CurrentDeviceName() + " @ " + FSession->CurrentBackupDate()));
    if (TListView* list = slot->List()) {
        list->ExportSelected = [this] { ExportView(); };
    }
    emit StateChanged();
}

TCategoryView* TBackFrame::CreateView(int view) {
    switch (view) {
    case 0:
        return new TAbFrm(*FSession, FFrmPnl);
    case 1:
        return new TMsgFrm(*FSession, FFrmPnl);
    case 2:
        return new TCallFrm(*FSession, FFrmPnl);
    case 3:
        return new TNoteFrm(*FSession, FFrmPnl);
    case 4:
        return new TCldFrm(*FSession, FFrmPnl);
    case 5:
        return new TSfrFrm(*FSession, FFrmPnl);
    case 6:
        return new TVmlFrm(*FSession, FFrmPnl);
    case 8:
        return new TPhotoFrm(*FSession, FFrmPnl);
    default:
        return new TFileFrm(*FSession, FFrmPnl);
    }
}

void TBackFrame::FreeViews() {
    for (QToolButton* button : FButtons) {
        button->setEnabled(false);
    }
    // Freed at once, not later: the readers they show are closed right after.
    for (TCategoryView*& view : FViews) {
        delete view;
        view = nullptr;
    }
}

int TBackFrame::ActiveCategory() const {
    if (!FBkTb->isVisible() || !FBkTb->isEnabled() || FReadThd) {
        return -1;
    }
    int view = -1;
    for (int b = 0; b < kViewCount && view < 0; ++b) {
        view = FButtons[static_cast<std::size_t>(b)]->isChecked() ? b : -1;
    }
    return (view >= 0 && FViews[static_cast<std::size_t>(view)] != nullptr) ? view : -1;
}

bool TBackFrame::Search(const QString& text) {
    const int view = ActiveCategory();
    if (view < 0 || Exporting()) {
        return false;
    }
    bool found = false;
    Guarded(window(), [&] { found = FViews[static_cast<std::size_t>(view)]->FindNext(text); });
    SetStatus(found ? ToQString(FSession->CurrentDeviceName() + " @ " + FSession->CurrentBackupDate())
                    : QStringLiteral("No match"));
    return found;
}

void TBackFrame::Filter(const QString& text) {
    FFilterText = text;
    const int view = ActiveCategory();
    if (view >= 0) {
        Guarded(window(), [&] { FViews[static_cast<std::size_t>(view)]->Filter(text); });
        emit StateChanged(); // a list filtered to nothing has nothing to export
    }
}

bool TBackFrame::ExportView() {
    const int view = ActiveCategory();
    if (view < 0 || Exporting()) {
        return false;
    }
    std::optional<TExportJob> job;
    Guarded(window(), [&] { job = FViews[static_cast<std::size_t>(view)]->PrepareExport(); });
    if (!job) {
        return false;
    }
    FWorkingPb->setRange(0, 1);
    FWorkingPb->setValue(0);
    FWorkingPb->setVisible(true);
    FCancelBtn->setVisible(true);
    FBkTb->setEnabled(false);
    FFrmPnl->setEnabled(false);
    FExportView = view;
    SetStatus(QStringLiteral("Exporting ") +
              QString::fromLatin1(kButtons[static_cast<std::size_t>(view)].Caption) + QStringLiteral(" ..."));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FExport->Start(std::move(*job));
    emit StateChanged();
    return true;
}

void TBackFrame::ShowExportProgress(qulonglong done, qulonglong total) {
    FWorkingPb->setMaximum(static_cast<int>(std::min<qulonglong>(total, INT_MAX)));
    FWorkingPb->setValue(static_cast<int>(std::min<qulonglong>(done, INT_MAX)));
    const int view = std::max(FExportView, 0);
    SetStatus(QStringLiteral("Exporting %1: %2 of %3")
                  .arg(QString::fromLatin1(kButtons[static_cast<std::size_t>(view)].Caption))
                  .arg(done)
                  .arg(total));
}

void TBackFrame::FinishExport(const TExportResult& result) {
    QApplication::restoreOverrideCursor();
    FWorkingPb->setVisible(false);
    FWorkingPb->setValue(0);
    FCancelBtn->setVisible(false);
    FBkTb->setEnabled(true);
    FFrmPnl->setEnabled(true);
    emit StateChanged();
    if (FExport->Job().After) {
        FExport->Job().After();
    }
    const QString& dest = FExport->Job().Destination;
    if (!FExport->ErrorText().isEmpty()) {
        ShowWarning(window(), FExport->ErrorText());
    } else if (result.FolderError != 0) {
        ShowWarning(window(),
                    QStringLiteral("Cannot find or create folder \"") + dest + QStringLiteral("\"."));
    }
    QString summary;
    if (result.Stopped) {
        summary = QStringLiteral("Stopped after %1 of %2").arg(FExport->Done()).arg(FExport->Total());
    } else if (result.Count > 0) {
        summary = QString::number(result.Count) + QStringLiteral(" exported");
    }
    if (!summary.isEmpty()) {
        SetStatus(summary);
    } else {
        SetStatus(ToQString(FSession->CurrentDeviceName() + " @ " + FSession->CurrentBackupDate()));
    }
    if (!result.Failures.empty()) {
        ShowWarning(window(), FailureText(result.Failures));
    }
    if (result.Count > 0 && OpenFolder &&
        AskOkCancel(window(), summary + QStringLiteral(" to \"") + dest +
                                  QStringLiteral("\".\rClick OK to open the folder."))) {
        OpenFolder(dest);
    }
    emit ExportDone(result.Count);
}

} // namespace kestrow
