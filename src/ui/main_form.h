#pragma once

#include <QWidget>
#include <memory>
#include <string>

class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QToolButton;

namespace kestrow {

class TBackFrame;
class TIpodDevice;

// The application's window: title bar buttons (Export, Open, More), the search box, and the
// backup view in its client area; refuses to close while a backup refresh runs.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    // `root`: the backup root; `deviceLibrary`: the mobile-device library the watcher binds (empty:
    // no watcher, as in most tests).
    explicit TMainForm(std::string root, std::string deviceLibrary = kDeviceLibrary,
                       QWidget* parent = nullptr);
    static const char* const kDeviceLibrary;
    ~TMainForm() override;

    void ShowBackupView();
    void BackBtnClick();
    void TransBtnClick();
    void Search();
    void ShowCheck();
    void ShowLog();
    void About();
    // F1: the version, the licence, where backups are looked for and the keys.
    void ShowHelp();
    QString HelpText() const;
    // Opens a dropped folder: a backup folder (its parent is the root) or a folder of backups.
    bool OpenDropped(const QString& folder);
    // The run log's text as "Error Log ..." shows it.
    QString LogReport() const;

    TBackFrame* BackFrame() const { return FBackFrm; }
    QPushButton* TransBtn() const { return FTransBtn; }
    QToolButton* BackBtn() const { return FBackBtn; }
    QToolButton* MoreBtn() const { return FMoreBtn; }
    QLineEdit* SearchEdt() const { return FSearchEdt; }
    // What the search box looks in: "This list" (find next, the list filtered as it is typed) or
    // "Everything" (the search window of every category).
    QComboBox* ScopeCb() const { return FScopeCb; }
    enum { kScopeList = 0, kScopeEverything = 1 };
    QMenu* HelpPop() const { return FHelpPop; }
    const TIpodDevice* Device() const { return FDevice.get(); }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildLayout();
    void CreateDeviceWatcher();
    void OnDeviceChange();
    void TimerTimer();
    void AddShortcuts();
    void StepCategory(int step);
    void UpdateState();
    void ApplyScope();
    void FilterNow();

    std::string FRoot;
    std::string FDeviceLibrary;
    bool FFirstRun = true;
    bool FIsConnected = false;
    std::unique_ptr<TIpodDevice> FDevice;
    TBackFrame* FBackFrm = nullptr;
    QWidget* FMainPnl = nullptr;
    QPushButton* FTransBtn = nullptr;
    QToolButton* FBackBtn = nullptr;
    QToolButton* FMoreBtn = nullptr;
    QLineEdit* FSearchEdt = nullptr;
    QComboBox* FScopeCb = nullptr;
    QTimer* FFilterTimer = nullptr;
    QMenu* FHelpPop = nullptr;
    QTimer* FTimer = nullptr;
};

} // namespace kestrow
