#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <string>

class QButtonGroup;
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
    void OpenIndex(int idx);
    void RefreshDevice(const std::string& uniqueId);
    int ActiveCategory() const;
    bool Search(const QString& text);
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

    // Opens a finished export's folder; tests replace it.
    std::function<void(const QString& folder)> OpenFolder;

signals:
    void OpeningDone(int status);
    void ExportDone(int count);

private:
    void BuildLayout();
    QString AskPassword(int idx);
    void StartLoading(const QString& status);
    void OnToolDone(bool ok);
    void OnOpenDone(int status);
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
    QFrame* FShp = nullptr;
    QToolBar* FBkTb = nullptr;
    QButtonGroup* FButtonGroup = nullptr;
    std::array<QToolButton*, kViewCount> FButtons{};
    std::array<TCategoryView*, kViewCount> FViews{};
    QStackedWidget* FFrmPnl = nullptr;
    QLabel* FStatus = nullptr;
    QProgressBar* FWorkingPb = nullptr;
    QPushButton* FCancelBtn = nullptr;
};

// The session category shown by each toolbar button, in toolbar order.
int CategoryOfView(int view);

} // namespace kestrow
