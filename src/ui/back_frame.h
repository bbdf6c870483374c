#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QToolBar;
class QToolButton;

namespace kestrow {

class TCategoryView;
class TExportRunner;
class TIosHelper;
class TIpodBackReadThd;
class TIpodBackup;
struct TExportResult;

// The backup view: owns the session, offers the choice of backup, opens it on a background
// thread, shows progress and outcome, and switches among the nine category views.
class TBackFrame : public QWidget {
    Q_OBJECT
public:
    static constexpr int kViewCount = 9;
    // The device link as it stands (the main window re-creates its watcher).
    using TDeviceGetter = std::function<const TIosHelper*()>;

    TBackFrame(const std::string& root, TDeviceGetter device, QWidget* parent = nullptr);
    ~TBackFrame() override;

    void SetStatus(const QString& text);
    QString StatusText() const;
    void ChooseBackup();
    // Looks for backups in `root` from now on (a folder picked or dropped) and offers the choice;
    // `preselect`: a backup folder to offer first. False while busy.
    bool SetRoot(const std::string& root, const std::string& preselect = {});
    // Asks for a folder of backups, starting at the current root, and looks there.
    void PickRoot();
    // Whether Export has something to write: a category on screen with records, nothing running.
    bool CanExport() const;
    void OpenIndex(int idx);
    void RefreshDevice(const std::string& uniqueId);
    int ActiveCategory() const;
    bool Search(const QString& text);
    // The search box as it is typed: the list on screen, and each list shown after it, lists only
    // the records that match `text` (blank: every record).
    void Filter(const QString& text);
    bool ExportView();
    void ShowCategory(int view);

    bool Refreshing() const { return FRefreshing; }
    bool ViewShown() const { return FViewShown; }
    // Loading, refreshing or exporting: the progress bar is on screen.
    bool Busy() const;
    bool Exporting() const;
    TIpodBackup& Session() { return *FSession; }
    TCategoryView* View(int view) const { return FViews[static_cast<std::size_t>(view)]; }
    QToolButton* CategoryButton(int view) const { return FButtons[static_cast<std::size_t>(view)]; }
    QToolBar* Toolbar() const { return FBkTb; }
    QProgressBar* Progress() const { return FWorkingPb; }
    QPushButton* CancelBtn() const { return FCancelBtn; }

    // Opens a finished export's folder; tests replace it.
    std::function<void(const QString& folder)> OpenFolder;
    // The folder picker of "Open folder..."; empty when cancelled. Tests replace it.
    std::function<QString(const QString& start)> PickFolder;

signals:
    void OpeningDone(int status);
    void ExportDone(int count);
    // Something Export, the window title or the remembered root depend on has changed.
    void StateChanged();

private:
    void BuildLayout();
    QString AskPassword(int idx);
    void StartLoading(const QString& status);
    void OnToolDone(bool ok);
    void OnOpenDone(int status);
    void StartOpening(int idx, const QString& password);
    QString OpenFailureText(int status) const;
    void ShowStartState();
    void ShowExportProgress(qulonglong done, qulonglong total);
    int PreselectedIndex() const;
    void EnableCategories();
    void FreeViews();
    void FinishExport(const TExportResult& result);
    TCategoryView* CreateView(int view);
    QString ConnectedDeviceName() const;

    std::unique_ptr<TIpodBackup> FSession;
    TDeviceGetter FDevice;
    std::unique_ptr<TIpodBackReadThd> FReadThd;
    TExportRunner* FExport = nullptr;
    bool FRefreshing = false;
    bool FViewShown = false;
    // The backup open before the opening in hand, with its password, to return to when it fails.
    int FPreviousIdx = -1;
    QString FPreviousPassword;
    int FOpeningIdx = -1;
    QString FOpeningPassword;
    QString FCurrentPassword;
    std::string FPreselect;
    QString FFilterText;
    int FExportView = -1;
    QFrame* FShp = nullptr;
    QToolBar* FBkTb = nullptr;
    std::array<QToolButton*, kViewCount> FButtons{};
    std::array<TCategoryView*, kViewCount> FViews{};
    QStackedWidget* FFrmPnl = nullptr;
    QLabel* FStartPage = nullptr;
    QString FStartText;
    QLabel* FStatus = nullptr;
    QProgressBar* FWorkingPb = nullptr;
    QPushButton* FCancelBtn = nullptr;
};

// The session category shown by each toolbar button, in toolbar order.
int CategoryOfView(int view);

} // namespace kestrow
