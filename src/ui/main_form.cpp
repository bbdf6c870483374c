#include "ui/main_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "archive/ipod_backup.h"
#include "device/ipod_device.h"
#include "ui/app_info.h"
#include "ui/back_frame.h"
#include "ui/category_view.h"
#include "ui/check_form.h"
#include "ui/list_view.h"
#include "ui/log_form.h"
#include "ui/qt_text.h"
#include "ui/search_form.h"

namespace kestrow {

namespace {

// Return in the search box searches; the key does not reach the edit.
class TReturnFilter : public QObject {
public:
    TReturnFilter(QObject* parent, std::function<bool()> onReturn)
        : QObject(parent), FOnReturn(std::move(onReturn)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if ((key == Qt::Key_Return || key == Qt::Key_Enter) && FOnReturn()) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool()> FOnReturn;
};

} // namespace

const char* const TMainForm::kDeviceLibrary = TIosHelper::kDefaultLibrary;

TMainForm::TMainForm(std::string root, std::string deviceLibrary, QWidget* parent)
    : QWidget(parent), FRoot(std::move(root)), FDeviceLibrary(std::move(deviceLibrary)) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(TAppInfo::Caption());
    BuildLayout();
    FTimer = new QTimer(this);
    FTimer->setInterval(300);
    FTimer->setSingleShot(true);
    connect(FTimer, &QTimer::timeout, this, &TMainForm::TimerTimer);
    CreateDeviceWatcher();
    AddShortcuts();
    setAcceptDrops(true);
    resize(1088, 674);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    const QSettings settings(TAppInfo::OrganizationName(), TAppInfo::ProductName());
    restoreGeometry(settings.value(QStringLiteral("Geometry")).toByteArray());
}

void TMainForm::AddShortcuts() {
    const auto add = [this](const QKeySequence& keys, auto action) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_O), [this] { BackBtnClick(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_E), [this] {
        if (FTransBtn->isEnabled()) {
            TransBtnClick();
        }
    });
    add(QKeySequence(Qt::CTRL | Qt::Key_F), [this] {
        if (FSearchEdt->isEnabled()) {
            FSearchEdt->setFocus(Qt::ShortcutFocusReason);
            FSearchEdt->selectAll();
        }
    });
    add(QKeySequence(Qt::Key_F3), [this] { Search(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { close(); });
    add(QKeySequence(Qt::Key_F1), [this] { ShowHelp(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_PageDown), [this] { StepCategory(1); });
    add(QKeySequence(Qt::CTRL | Qt::Key_PageUp), [this] { StepCategory(-1); });
    for (int view = 0; view < TBackFrame::kViewCount; ++view) {
        add(QKeySequence(Qt::ALT | static_cast<Qt::Key>(Qt::Key_1 + view)), [this, view] {
            if (FBackFrm != nullptr && FBackFrm->ActiveCategory() >= 0 && !FBackFrm->Exporting() &&
                FBackFrm->CategoryButton(view)->isEnabled()) {
                FBackFrm->ShowCategory(view);
            }
        });
    }
}

void TMainForm::StepCategory(int step) {
    if (FBackFrm == nullptr || FBackFrm->ActiveCategory() < 0 || FBackFrm->Exporting()) {
        return;
    }
    const int count = TBackFrame::kViewCount;
    for (int view = FBackFrm->ActiveCategory() + step, tried = 1; tried < count; view += step, ++tried) {
        const int wrapped = (view + count) % count;
        if (FBackFrm->CategoryButton(wrapped)->isEnabled()) {
            FBackFrm->ShowCategory(wrapped);
            return;
        }
    }
}

void TMainForm::UpdateState() {
    FTransBtn->setEnabled(FBackFrm != nullptr && FBackFrm->CanExport());
    const std::string device = FBackFrm != nullptr ? FBackFrm->Session().CurrentDeviceName() : std::string();
    setWindowTitle(device.empty() ? TAppInfo::Caption()
                                  : ToQString(device) + QStringLiteral(" - ") + TAppInfo::Caption());
    QSettings settings(TAppInfo::OrganizationName(), TAppInfo::ProductName());
    if (FBackFrm != nullptr) {
        settings.setValue(QStringLiteral("LastRoot"), ToQString(FBackFrm->Session().Root()));
    }
}

TMainForm::~TMainForm() {
    delete FBackFrm; // the session and its threads before the device watcher
    FBackFrm = nullptr;
    FDevice.reset();
}

void TMainForm::BuildLayout() {
    auto* tiPnl = new QWidget(this);
    tiPnl->setObjectName(QStringLiteral("TiPnl"));
    tiPnl->setFixedHeight(57);
    tiPnl->setAutoFillBackground(true);
    QPalette title = tiPnl->palette();
    title.setColor(QPalette::Window, QColor(0xE2, 0xE2, 0xE2));
    tiPnl->setPalette(title);

    FTransBtn = new QPushButton(QStringLiteral("Export"), tiPnl);
    FTransBtn->setObjectName(QStringLiteral("TransBtn"));
    FTransBtn->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    FTransBtn->setMinimumSize(96, 32);
    FTransBtn->setEnabled(false);
    connect(FTransBtn, &QPushButton::clicked, this, &TMainForm::TransBtnClick);
    FBackBtn = new QToolButton(tiPnl);
    FBackBtn->setObjectName(QStringLiteral("BackBtn"));
    FBackBtn->setAutoRaise(true);
    FBackBtn->setToolTip(QStringLiteral("Open"));
    FBackBtn->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    FBackBtn->setIconSize(QSize(24, 24));
    connect(FBackBtn, &QToolButton::clicked, this, &TMainForm::BackBtnClick);
    FMoreBtn = new QToolButton(tiPnl);
    FMoreBtn->setObjectName(QStringLiteral("MoreBtn"));
    FMoreBtn->setAutoRaise(true);
    FMoreBtn->setToolTip(QStringLiteral("More"));
    FMoreBtn->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    FMoreBtn->setIconSize(QSize(24, 24));

    FHelpPop = new QMenu(this);
    connect(FHelpPop->addAction(QStringLiteral("Error Log ...")), &QAction::triggered, this,
            &TMainForm::ShowLog);
    connect(FHelpPop->addAction(QStringLiteral("Check backup\u2026")), &QAction::triggered, this,
            &TMainForm::ShowCheck);
    // "&&" shows as one ampersand.
    connect(FHelpPop->addAction(QStringLiteral("Transfer Music && Pictures")), &QAction::triggered, this,
            [] { QDesktopServices::openUrl(QUrl(TAppInfo::TransferAddress())); });
    FHelpPop->addSeparator();
    connect(FHelpPop->addAction(QStringLiteral("About")), &QAction::triggered, this, &TMainForm::About);
    connect(FHelpPop->addAction(QStringLiteral("Help")), &QAction::triggered, this,
            [] { QDesktopServices::openUrl(QUrl(TAppInfo::HelpAddress())); });
    // The window F1 opens: version, licence, where backups are looked for, the keys.
    connect(FHelpPop->addAction(QStringLiteral("Keys and Folders...\tF1")), &QAction::triggered, this,
            &TMainForm::ShowHelp);
    connect(FMoreBtn, &QToolButton::clicked, this,
            [this] { FHelpPop->popup(FMoreBtn->mapToGlobal(QPoint(0, FMoreBtn->height()))); });

    FSearchEdt = new QLineEdit(tiPnl);
    FSearchEdt->setObjectName(QStringLiteral("SearchEdt"));
    FSearchEdt->setFixedWidth(200);
    FSearchEdt->setToolTip(QStringLiteral("Click Return to search"));
    FSearchEdt->setPlaceholderText(QStringLiteral("Search name, title"));
    FSearchEdt->setEnabled(false);
    QAction* findNext =
        FSearchEdt->addAction(style()->standardIcon(QStyle::SP_ArrowRight), QLineEdit::TrailingPosition);
    findNext->setToolTip(QStringLiteral("Find next"));
    connect(findNext, &QAction::triggered, this, &TMainForm::Search);
    FSearchEdt->installEventFilter(new TReturnFilter(this, [this] {
        if (FSearchEdt->text().trimmed().isEmpty()) {
            return false;
        }
        Search();
        return true;
    }));
    FScopeCb = new QComboBox(tiPnl);
    FScopeCb->setObjectName(QStringLiteral("ScopeCb"));
    FScopeCb->addItems({QStringLiteral("This list"), QStringLiteral("Everything")});
    FScopeCb->setToolTip(QStringLiteral("Where the search box looks"));
    FScopeCb->setEnabled(false);
    connect(FScopeCb, &QComboBox::currentIndexChanged, this, &TMainForm::ApplyScope);
    // The list follows the typing once it pauses: one pass over a long list, not one per key.
    FFilterTimer = new QTimer(this);
    FFilterTimer->setInterval(150);
    FFilterTimer->setSingleShot(true);
    connect(FFilterTimer, &QTimer::timeout, this, &TMainForm::FilterNow);
    connect(FSearchEdt, &QLineEdit::textChanged, this, [this] {
        if (FScopeCb->currentIndex() == kScopeList) {
            FFilterTimer->start();
        }
    });
    auto* clear = new QShortcut(QKeySequence(Qt::Key_Escape), FSearchEdt);
    clear->setContext(Qt::WidgetShortcut);
    connect(clear, &QShortcut::activated, FSearchEdt, &QLineEdit::clear);

    auto* bar = new QHBoxLayout(tiPnl);
    bar->setContentsMargins(12, 0, 12, 0);
    bar->addWidget(FTransBtn);
    bar->addStretch(1);
    bar->addWidget(FBackBtn);
    bar->addWidget(FMoreBtn);
    bar->addSpacing(8);
    bar->addWidget(FScopeCb);
    bar->addWidget(FSearchEdt);

    FMainPnl = new QWidget(this);
    FMainPnl->setObjectName(QStringLiteral("MainPnl"));
    FMainPnl->setAutoFillBackground(true);
    QPalette client = FMainPnl->palette();
    client.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    FMainPnl->setPalette(client);
    auto* clientLayout = new QVBoxLayout(FMainPnl);
    clientLayout->setContentsMargins(0, 0, 0, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tiPnl);
    layout->addWidget(FMainPnl, 1);
}

void TMainForm::CreateDeviceWatcher() {
    FDevice.reset();
    const auto onChange = [this] {
        // Called on the library's thread: only a note for the UI thread.
        QMetaObject::invokeMethod(this, &TMainForm::OnDeviceChange, Qt::QueuedConnection);
    };
    FDevice = FDeviceLibrary.empty() ? std::make_unique<TIpodDevice>(onChange)
                                     : std::make_unique<TIpodDevice>(onChange, FDeviceLibrary);
    if (!FDeviceLibrary.empty()) {
        // A fresh watcher binds the library again and looks for a device already connected.
        FDevice->Start();
    }
}

void TMainForm::OnDeviceChange() {
    FIsConnected = FDevice && FDevice->Helper().Connected();
    FTimer->start();
}

void TMainForm::TimerTimer() {
    FTimer->stop();
    if (!FIsConnected) {
        setWindowTitle(TAppInfo::ProductName());
        CreateDeviceWatcher();
    }
}

void TMainForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (FFirstRun) {
        FFirstRun = false;
        // After the window is on screen, so the choice opens over it.
        QMetaObject::invokeMethod(this, &TMainForm::ShowBackupView, Qt::QueuedConnection);
    }
}

void TMainForm::ShowBackupView() {
    if (FBackFrm == nullptr) {
        FBackFrm = new TBackFrame(
            FRoot, [this]() -> const TIosHelper* { return FDevice ? &FDevice->Helper() : nullptr; },
            FMainPnl);
        FMainPnl->layout()->addWidget(FBackFrm);
        AddSearchActions(FHelpPop, FBackFrm, FSearchEdt);
        connect(FBackFrm, &TBackFrame::StateChanged, this, &TMainForm::UpdateState);
        // Tab walks the title bar, the category buttons, then the view on screen.
        setTabOrder(FTransBtn, FBackBtn);
        setTabOrder(FBackBtn, FMoreBtn);
        setTabOrder(FMoreBtn, FScopeCb);
        setTabOrder(FScopeCb, FSearchEdt);
        QWidget* previous = FSearchEdt;
        for (int view = 0; view < TBackFrame::kViewCount; ++view) {
            setTabOrder(previous, FBackFrm->CategoryButton(view));
            previous = FBackFrm->CategoryButton(view);
        }
    }
    FBackFrm->show();
    FSearchEdt->setEnabled(true);
    FScopeCb->setEnabled(true);
    UpdateState();
    FBackFrm->ChooseBackup();
}

void TMainForm::BackBtnClick() {
    if (FBackFrm != nullptr && FBackFrm->isVisible() && FBackFrm->Busy()) {
        ShowInformation(this, QStringLiteral("Please wait until all the data has been loaded."));
        return;
    }
    ShowBackupView();
}

void TMainForm::TransBtnClick() {
    if (FBackFrm == nullptr || !FBackFrm->isVisible()) {
        return;
    }
    if (FBackFrm->Busy()) {
        ShowInformation(this, QStringLiteral("Please wait until all the data has been loaded."));
        return;
    }
    if (FBackFrm->ActiveCategory() >= 0) {
        FBackFrm->ExportView();
    }
}

void TMainForm::Search() {
    const QString text = FSearchEdt->text();
    if (FBackFrm == nullptr) {
        return;
    }
    if (FScopeCb->currentIndex() == kScopeEverything) {
        // The window of every category, made once per opening, with the text searched.
        if (auto* everything = FHelpPop->findChild<QAction*>(QStringLiteral("SearchEverythingAct"))) {
            everything->trigger();
        }
        return;
    }
    if (FFilterTimer->isActive()) {
        FilterNow(); // the list as typed before stepping through it
    }
    if (!text.trimmed().isEmpty()) {
        FBackFrm->Search(text); // the text as typed
    }
}

void TMainForm::FilterNow() {
    FFilterTimer->stop();
    if (FBackFrm != nullptr) {
        FBackFrm->Filter(FScopeCb->currentIndex() == kScopeList ? FSearchEdt->text() : QString());
    }
}

void TMainForm::ApplyScope() {
    const bool list = FScopeCb->currentIndex() == kScopeList;
    FSearchEdt->setPlaceholderText(list ? QStringLiteral("Search name, title")
                                        : QStringLiteral("Search every category"));
    FSearchEdt->setToolTip(list ? QStringLiteral("Click Return to search")
                                : QStringLiteral("Click Return to search every category"));
    FilterNow(); // "Everything" leaves the lists whole
}

QString TMainForm::LogReport() const {
    const TIosHelper* helper = FDevice ? &FDevice->Helper() : nullptr;
    std::string log;
    if (FBackFrm != nullptr) {
        log = FBackFrm->Session().LogText();
    }
    return TLogForm::Report(helper != nullptr && helper->Loaded(), helper != nullptr && helper->Connected(),
                            helper != nullptr && helper->Ready(), FBackFrm != nullptr ? &log : nullptr);
}

void TMainForm::ShowLog() {
    TLogForm form(this);
    form.AppendReport(LogReport());
    form.exec();
}

void TMainForm::ShowCheck() {
    if (FBackFrm != nullptr && FBackFrm->Busy()) {
        ShowWarning(this, QStringLiteral("Please wait until all the data has been loaded."));
        return;
    }
    if (FBackFrm == nullptr || FBackFrm->Session().CurrentIndex() < 0) {
        ShowInformation(this, QStringLiteral("Please open a backup first."));
        return;
    }
    TCheckForm form(FBackFrm->Session(), this);
    form.exec();
}

void TMainForm::About() {
    if (AskOkCancel(this, TAppInfo::Caption() + QStringLiteral("\r\r") + TAppInfo::WebAddress() +
                              QStringLiteral("\rClick OK to visit our official website."))) {
        QDesktopServices::openUrl(QUrl(TAppInfo::WebAddress()));
    }
}

QString TMainForm::HelpText() const {
    const QString root = FBackFrm != nullptr ? ToQString(FBackFrm->Session().Root()) : ToQString(FRoot);
    return TAppInfo::Caption() +
           QStringLiteral("\rReads the local backups of iPhone, iPod touch and iPad devices and exports what "
                          "is inside. It never changes a backup.\r\r") +
           TAppInfo::Licence() + QStringLiteral("\r\rBackups are looked for in:\r") + root +
           QStringLiteral(
               "\r(the folder given when starting, else $KESTROW_BACKUP_ROOT, else the last folder "
               "opened, else ~/.local/share/Apple Computer/MobileSync/Backup). \"Open folder...\" "
               "in the backup choice, or dropping a folder on the window, looks elsewhere.\r\r"
               "Keys: Ctrl+O open, Ctrl+E export, Ctrl+F search, F3 or Enter find next, Esc clear "
               "the search, Alt+1 to Alt+8 or Ctrl+PgUp/PgDn switch category, Ctrl+Q quit.");
}

void TMainForm::ShowHelp() {
    QMessageBox box(QMessageBox::Information, TAppInfo::ProductName(), MessageText(HelpText()),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.setDetailedText(TAppInfo::LicenceText()); // what the text names, one click away
    box.exec();
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile() && QFileInfo(urls.front().toLocalFile()).isDir()) {
        event->acceptProposedAction();
    }
}

void TMainForm::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.front().isLocalFile()) {
        event->acceptProposedAction();
        const QString folder = urls.front().toLocalFile();
        // After the drop has ended: the choice that follows is modal.
        QMetaObject::invokeMethod(
            this, [this, folder] { OpenDropped(folder); }, Qt::QueuedConnection);
    }
}

bool TMainForm::OpenDropped(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir()) {
        return false;
    }
    if (FBackFrm == nullptr) {
        ShowBackupView(); // not before the first choice has been offered
        return false;
    }
    const QDir dir(info.absoluteFilePath());
    const bool isBackup =
        dir.exists(QStringLiteral("Manifest.db")) || dir.exists(QStringLiteral("Manifest.mbdb")) ||
        dir.exists(QStringLiteral("Manifest.plist")) || dir.exists(QStringLiteral("Info.plist"));
    if (isBackup) {
        QDir parent = dir;
        parent.cdUp();
        return FBackFrm->SetRoot(ToStdString(parent.absolutePath()), ToStdString(dir.absolutePath()));
    }
    return FBackFrm->SetRoot(ToStdString(dir.absolutePath()));
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (FBackFrm != nullptr && FBackFrm->Refreshing()) {
        ShowWarning(this,
                    QStringLiteral("Backup is in progress.\rPlease wait until the backup complete.\rIt may "
                                   "take some time depends on the capacity of your device."));
        event->ignore();
        return;
    }
    QSettings settings(TAppInfo::OrganizationName(), TAppInfo::ProductName());
    settings.setValue(QStringLiteral("Geometry"), saveGeometry());
    event->accept();
}

} // namespace kestrow
