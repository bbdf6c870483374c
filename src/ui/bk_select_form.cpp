#include "ui/bk_select_form.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/app_info.h"

namespace kestrow {

namespace {

QTreeWidgetItem* MakeGroup(QTreeWidget* list, const QString& caption) {
    auto* group = new QTreeWidgetItem(list, QStringList{caption});
    group->setFlags(Qt::ItemIsEnabled);
    QFont font = group->font(0);
    font.setBold(true);
    group->setFont(0, font);
    group->setFirstColumnSpanned(true);
    group->setHidden(true); // until it holds a row
    return group;
}

} // namespace

TBkSelectForm::TBkSelectForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Open backup"));
    setObjectName(QStringLiteral("BkSelectForm"));
    FLibLst = new QTreeWidget(this);
    FLibLst->setObjectName(QStringLiteral("LibLst"));
    FLibLst->setColumnCount(2);
    FLibLst->setHeaderHidden(true);
    FLibLst->setRootIsDecorated(false);
    FLibLst->setItemsExpandable(false);
    FLibLst->setSelectionMode(QAbstractItemView::SingleSelection);
    FLibLst->setSelectionBehavior(QAbstractItemView::SelectRows);
    FLibLst->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FLibLst->header()->setStretchLastSection(false);
    FLibLst->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    FLibLst->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    FLibLst->header()->resizeSection(1, 180);
    FDeviceGroup = MakeGroup(FLibLst, QStringLiteral("Connected device"));
    FBackupGroup = MakeGroup(FLibLst, QStringLiteral("Backups found in this computer"));
    connect(FLibLst, &QTreeWidget::itemDoubleClicked, this, [this] { ReadBtnClick(); });

    FAdBtn = new QToolButton(this);
    FAdBtn->setAutoRaise(true);
    FAdBtn->setIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
    FAdBtn->setToolTip(TAppInfo::TransferAddress());
    connect(FAdBtn, &QToolButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(TAppInfo::TransferAddress())); });
    FCancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    connect(FCancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    FReadBtn = new QPushButton(QStringLiteral("Open >"), this);
    FReadBtn->setObjectName(QStringLiteral("ReadBtn"));
    FReadBtn->setDefault(true);
    FReadBtn->setEnabled(false);
    connect(FReadBtn, &QPushButton::clicked, this, &TBkSelectForm::ReadBtnClick);

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(FAdBtn);
    buttons->addStretch(1);
    buttons->addWidget(FCancelBtn);
    buttons->addWidget(FReadBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FLibLst, 1);
    layout->addLayout(buttons);
    setFixedSize(475, 348);
}

void TBkSelectForm::AddRow(const QString& name, const QString& time, int index) {
    const bool device = index < 0;
    QTreeWidgetItem* group = device ? FDeviceGroup : FBackupGroup;
    auto* row = new QTreeWidgetItem(group, QStringList{name, time});
    row->setData(0, Qt::UserRole, index);
    row->setIcon(0, style()->standardIcon(device ? QStyle::SP_DriveHDIcon : QStyle::SP_DirIcon));
    group->setHidden(false);
    group->setExpanded(true);
    if (device) {
        FRows.insert(FRows.begin() + FDeviceRows, row);
        ++FDeviceRows;
    } else {
        FRows.push_back(row);
    }
}

void TBkSelectForm::SelectRow(int idx) {
    const int rows = RowCount();
    QTreeWidgetItem* chosen = nullptr;
    if (idx >= 0 && idx + FDeviceRows < rows) {
        chosen = FRows[static_cast<std::size_t>(idx + FDeviceRows)];
    } else if (rows > 1) {
        chosen = FRows[1];
    } else if (rows == 1) {
        chosen = FRows[0];
    }
    if (chosen != nullptr) {
        FLibLst->setCurrentItem(chosen);
        chosen->setSelected(true);
    }
    FReadBtn->setEnabled(true);
}

int TBkSelectForm::SelectedIndex() const {
    const QList<QTreeWidgetItem*> selected = FLibLst->selectedItems();
    if (selected.isEmpty() || selected.front()->parent() == nullptr) {
        return -1;
    }
    return selected.front()->data(0, Qt::UserRole).toInt();
}

void TBkSelectForm::ReadBtnClick() {
    if (SelectedIndex() != -1) {
        accept();
    }
}

} // namespace kestrow
