#pragma once

#include <QDialog>
#include <vector>

class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace kestrow {

// "Open backup": the connected device (group "Connected device") and the backups found (group
// "Backups found in this computer"); returns the chosen row's index (-2 for the device row).
class TBkSelectForm : public QDialog {
    Q_OBJECT
public:
    explicit TBkSelectForm(QWidget* parent = nullptr);

    // A negative index marks the connected device's row.
    void AddRow(const QString& name, const QString& time, int index);
    void SelectRow(int idx);
    int SelectedIndex() const;
    int RowCount() const { return static_cast<int>(FRows.size()); }
    int DeviceRowCount() const { return FDeviceRows; }

    QTreeWidget* LibLst() const { return FLibLst; }
    QPushButton* ReadBtn() const { return FReadBtn; }
    QPushButton* CancelBtn() const { return FCancelBtn; }

private:
    void ReadBtnClick();

    QTreeWidget* FLibLst = nullptr;
    QTreeWidgetItem* FDeviceGroup = nullptr;
    QTreeWidgetItem* FBackupGroup = nullptr;
    QToolButton* FAdBtn = nullptr;
    QPushButton* FCancelBtn = nullptr;
    QPushButton* FReadBtn = nullptr;
    std::vector<QTreeWidgetItem*> FRows; // device rows first, then backups, as shown
    int FDeviceRows = 0;
};

} // namespace kestrow
