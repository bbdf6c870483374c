#include "ui/bk_select_form.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
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

// A padlock, drawn so no picture file is needed.
QIcon LockIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x44, 0x44, 0x44), 1.6));
    painter.drawArc(QRectF(4.5, 1.5, 7, 8), 0, 180 * 16);
    painter.drawLine(QPointF(4.5, 5.5), QPointF(4.5, 7.5));
    painter.drawLine(QPointF(11.5, 5.5), QPointF(11.5, 7.5));
    painter.setBrush(QColor(0x44, 0x44, 0x44));
    painter.drawRoundedRect(QRectF(2.5, 7.5, 11, 7.5), 1.5, 1.5);
    return QIcon(pixmap);
}

} // namespace

TBkSelectForm::TBkSelectForm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Open backup"));
    setObjectName(QStringLiteral("BkSelectForm"));
    FLibLst = new QTreeWidget(this);
    FLibLst->setObjectName(QStringLiteral("LibLst"));
    FLibLst->setColumnCount(3);
    FLibLst->setHeaderLabels({QStringLiteral("Device"), QStringLiteral("Date"), QStringLiteral("Encrypted")});
    FLibLst->setRootIsDecorated(false);
    FLibLst->setItemsExpandable(false);
    FLibLst->setSelectionMode(QAbstractItemView::SingleSelection);
    FLibLst->setSelectionBehavior(QAbstractItemView::SelectRows);
    FLibLst->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FLibLst->header()->setStretchLastSection(false);
    FLibLst->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    FLibLst->header()->setSectionResizeMode(1, QHeaderView::Interactive);
    FLibLst->header()->resizeSection(1, 150);
    FLibLst->header()->setSectionResizeMode(2, QHeaderView::Interactive);
    FLibLst->header()->resizeSection(2, 80);
    FDeviceGroup = MakeGroup(FLibLst, QStringLiteral("Connected device"));
    FBackupGroup = MakeGroup(FLibLst, QStringLiteral("Backups found in this computer"));
    connect(FLibLst, &QTreeWidget::itemDoubleClicked, this, [this] { ReadBtnClick(); });

    FAdBtn = new QToolButton(this);
    FAdBtn->setAutoRaise(true);
    FAdBtn->setIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
    FAdBtn->setToolTip(TAppInfo::TransferAddress());
    connect(FAdBtn, &QToolButton::clicked, this,
            [] { QDesktopServices::openUrl(QUrl(TAppInfo::TransferAddress())); });
    FFolderBtn = new QPushButton(QStringLiteral("Open folder..."), this);
    FFolderBtn->setObjectName(QStringLiteral("FolderBtn"));
    FFolderBtn->setToolTip(QStringLiteral("Choose the folder that holds the backups"));
    connect(FFolderBtn, &QPushButton::clicked, this, [this] { done(kOpenFolder); });
    FCancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    connect(FCancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    FReadBtn = new QPushButton(QStringLiteral("Open >"), this);
    FReadBtn->setObjectName(QStringLiteral("ReadBtn"));
    FReadBtn->setDefault(true);
    FReadBtn->setEnabled(false);
    connect(FReadBtn, &QPushButton::clicked, this, &TBkSelectForm::ReadBtnClick);

    auto* buttons = new QHBoxLayout();
    buttons->addWidget(FAdBtn);
    buttons->addWidget(FFolderBtn);
    buttons->addStretch(1);
    buttons->addWidget(FCancelBtn);
    buttons->addWidget(FReadBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FLibLst, 1);
    layout->addLayout(buttons);
    resize(475, 348);
    setMinimumSize(360, 240);
    setSizeGripEnabled(true);
}

void TBkSelectForm::AddRow(const QString& name, const QString& time, int index, bool encrypted) {
    const bool device = index < 0;
    QTreeWidgetItem* group = device ? FDeviceGroup : FBackupGroup;
    auto* row =
        new QTreeWidgetItem(group, QStringList{name, time, encrypted ? QStringLiteral("Yes") : QString()});
    row->setToolTip(0, name);
    if (encrypted) {
        row->setIcon(2, LockIcon());
        row->setToolTip(2, QStringLiteral("Encrypted: the backup's password is asked for"));
    }
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
