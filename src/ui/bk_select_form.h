#pragma once

#include <QDialog>
#include <vector>

class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrow {

// "Open backup": the connected device (group "Connected device") and the backups found (group
// "Backups found in this computer") under the headers Device, Date and Encrypted; returns the
// chosen row's index (-2 for the device row), or kOpenFolder when another folder is to be chosen.
class TBkSelectForm : public QDialog {
    Q_OBJECT
public:
    explicit TBkSelectForm(QWidget* parent = nullptr);
    // The dialog's result when "Open folder..." was pressed.
    static constexpr int kOpenFolder = 2;

    // A negative index marks the connected device's row.
    void AddRow(const QString& name, const QString& time, int index, bool encrypted = false);
    void SelectRow(int idx);
    int SelectedIndex() const;
    int RowCount() const { return static_cast<int>(FRows.size()); }
    int DeviceRowCount() const { return FDeviceRows; }

    QTreeWidget* LibLst() const { return FLibLst; }
    QPushButton* ReadBtn() const { return FReadBtn; }
    QPushButton* CancelBtn() const { return FCancelBtn; }
    QPushButton* FolderBtn() const { return FFolderBtn; }

private:
    void ReadBtnClick();

    QTreeWidget* FLibLst = nullptr;
    QTreeWidgetItem* FDeviceGroup = nullptr;
    QTreeWidgetItem* FBackupGroup = nullptr;
    QToolButton* FAdBtn = nullptr;
    QPushButton* FCancelBtn = nullptr;
    QPushButton* FReadBtn = nullptr;
    QPushButton* FFolderBtn = nullptr;
    std::vector<QTreeWidgetItem*> FRows; // device rows first, then backups, as shown
    int FDeviceRows = 0;
};

} // namespace kestrow
