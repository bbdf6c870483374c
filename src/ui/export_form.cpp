#include "ui/export_form.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>
#include <cerrno>

#include "archive/ipod_backup.h"
#include "export/export_formats.h"
#include "ui/app_info.h"
#include "ui/qt_text.h"

namespace kestrow {

namespace {

const QString kDestKey = QStringLiteral("BkDest");

// Blanks and control characters off both ends.
QString TrimControls(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 0x20) {
        ++first;
    }
    while (last > first && text.at(last - 1).unicode() <= 0x20) {
        --last;
    }
    return text.mid(first, last - first);
}

} // namespace

TExportFrom::TExportFrom(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Export"));
    setObjectName(QStringLiteral("ExportFrom"));
    FDestEdt = new QLineEdit(this);
    FDestEdt->setObjectName(QStringLiteral("DestEdt"));
    FBrowseBtn = new QToolButton(this);
    FBrowseBtn->setText(QStringLiteral("..."));
    FBrowseBtn->setToolTip(QStringLiteral("Save to"));
    connect(FBrowseBtn, &QToolButton::clicked, this, &TExportFrom::BrowseBtnClick);
    FFormatRg = new QComboBox(this);
    FFormatRg->setObjectName(QStringLiteral("FormatRg"));
    FFormatRg->setEditable(false);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    FCancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
    connect(FCancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    FOKBtn = new QPushButton(QStringLiteral("Export"), this);
    FOKBtn->setObjectName(QStringLiteral("OKBtn"));
    FOKBtn->setDefault(true);
    connect(FOKBtn, &QPushButton::clicked, this, &TExportFrom::OKBtnClick);

    auto* destRow = new QHBoxLayout();
    destRow->addWidget(FDestEdt, 1);
    destRow->addWidget(FBrowseBtn);
    auto* form = new QFormLayout();
    form->addRow(QStringLiteral("Save to:"), destRow);
    form->addRow(QStringLiteral("Format:"), FFormatRg);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(FCancelBtn);
    buttons->addWidget(FOKBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addStretch(1);
    layout->addWidget(rule);
    layout->addLayout(buttons);
    setFixedSize(440, 170);

    FDestEdt->setText(RememberedDestination());
}

QString TExportFrom::RememberedDestination() {
    const QSettings settings(TAppInfo::OrganizationName(), TAppInfo::ProductName());
    QString dest = settings.value(kDestKey).toString();
    if (dest.isEmpty()) {
        dest = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!dest.isEmpty() && !dest.endsWith(QLatin1Char('/'))) {
            dest += QLatin1Char('/');
        }
    }
    return dest;
}

void TExportFrom::Prepare(int category, int selected) {
    const TExportCategoryInfo& info = ExportCategoryInfo(category);
    setWindowTitle(QString::fromUtf8(info.Title));
    FFormatRg->clear();
    for (const char* format : info.Formats) {
        FFormatRg->addItem(QString::fromUtf8(format));
    }
    FFormatRg->setCurrentIndex(0);
    FOKBtn->setText(ToQString(ExportButtonCaption(category, selected)));
    // Backup files are exported from a selection only.
    FOKBtn->setEnabled(!(category == ecFiles && selected == 0));
}

QString TExportFrom::Destination() const {
    QString dest = TrimControls(FDestEdt->text());
    if (!dest.endsWith(QLatin1Char('/'))) {
        dest += QLatin1Char('/');
    }
    return dest;
}

int TExportFrom::FormatCode() const {
    return FFormatRg->currentIndex();
}

void TExportFrom::BrowseBtnClick() {
    const QString folder =
        QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Save to"), QStringLiteral("/"));
    if (!folder.isEmpty()) {
        FDestEdt->setText(folder);
    }
}

void TExportFrom::OKBtnClick() {
    const QString dest = TrimControls(FDestEdt->text());
    FDestEdt->setText(dest);
    if (dest.isEmpty()) {
        ShowWarning(this, QStringLiteral("Please input the path where you want to save the data."));
        return;
    }
    if (FSession != nullptr && FSession->CheckDestination(ToStdString(dest)) == EACCES) {
        ShowWarning(this,
                    QStringLiteral("Nothing is ever written inside a backup folder.\rPlease choose another "
                                   "folder."));
        return;
    }
    if (!QDir().mkpath(dest)) {
        ShowWarning(this, QStringLiteral("Cannot find or create folder \"") + dest + QStringLiteral("\"."));
        return;
    }
    accept();
}

void TExportFrom::done(int result) {
    QSettings settings(TAppInfo::OrganizationName(), TAppInfo::ProductName());
    settings.setValue(kDestKey, TrimControls(FDestEdt->text()));
    QDialog::done(result);
}

} // namespace kestrow
