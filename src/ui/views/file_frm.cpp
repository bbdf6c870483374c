#include "ui/views/file_frm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMimeDatabase>
#include <QSplitter>
#include <QStyle>
#include <QVBoxLayout>
#include <sys/stat.h>

#include "archive/ipod_backup.h"
#include "export/backup_files_export.h"
#include "export/export_formats.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "ui/export_form.h"
#include "ui/list_view.h"
#include "ui/qt_text.h"
#include "ui/row_model.h"
#include "ui/views/picture_scaling.h"
#include "ui/views/view_parts.h"

namespace kestrow {

namespace {

constexpr int kPreviewBox = 169;

bool IsPictureKey(const std::string& key) {
    for (const char* extension : {".jpg", ".png", ".jpeg", ".gif"}) {
        if (EndsWithAsciiNoCase(key, extension)) {
            return true;
        }
    }
    return false;
}

} // namespace

QString SizeText(std::int64_t size) {
    if (size <= 0) {
        return {};
    }
    const auto text = [](double value, const char* unit) {
        return QString::number(value, 'f', 2) + QLatin1Char(' ') + QLatin1String(unit);
    };
    if (size < 1048576) {
        return text(static_cast<double>(size) / 1024, "KB");
    }
    if (size <= 1073741824) {
        return text(static_cast<double>(size) / 1048576, "MB");
    }
    return text(static_cast<double>(size) / 1073741824, "GB");
}

TFileFrm::TFileFrm(TIpodBackup& session, QWidget* parent) : TCategoryView(session, parent) {
    const TFileTable* files = &session.Files();
    std::vector<TColumn> columns{
        {QStringLiteral("File"), 368, Qt::AlignLeft | Qt::AlignVCenter,
         [files](int r) { return ToQString(files->At(static_cast<std::size_t>(r)).first); },
         [files](int a, int b) {
             return LessAsciiNoCase(files->At(static_cast<std::size_t>(a)).first,
                                    files->At(static_cast<std::size_t>(b)).first);
         }},
    };
    FModel = new TRowModel(std::move(columns), this);
    FFileLst = new TListView(this);
    FFileLst->SetRowModel(FModel, 0);
    connect(FFileLst, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { FileClicked(index.row()); });
    connect(FFileLst, &TListView::RecordShown, this,
            [this](int record) { FileClicked(FFileLst->RowOfRecord(record)); });

    auto* pane = new QWidget(this);
    pane->setObjectName(QStringLiteral("InfoPane"));
    pane->setStyleSheet(QStringLiteral("#InfoPane{background:#F2F2F2}"));
    pane->setAttribute(Qt::WA_StyledBackground);
    pane->setFixedWidth(185);
    FViewImg = new QLabel(pane);
    FViewImg->setFixedSize(kPreviewBox, kPreviewBox);
    FViewImg->setAlignment(Qt::AlignCenter);
    FInfoLb = new QLabel(pane);
    FInfoLb->setObjectName(QStringLiteral("InfoLb"));
    FInfoLb->setTextFormat(Qt::PlainText);
    FInfoLb->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    FInfoLb->setWordWrap(true);
    FAppCb = new QCheckBox(QStringLiteral("Files of App"), pane);
    auto* rule = new QFrame(pane);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    FFilterCb = new QComboBox(pane);
    FFilterCb->setObjectName(QStringLiteral("FilterCb"));
    FFilterCb->setEditable(true);
    FFilterCb->setInsertPolicy(QComboBox::NoInsert);
    FFilterCb->addItems({QStringLiteral("Any file"), QStringLiteral("Jpg"), QStringLiteral("Png"),
                         QStringLiteral("Gif"), QStringLiteral("Amr"), QStringLiteral("Mp3"),
                         QStringLiteral("Mid"), QStringLiteral("Mov"), QStringLiteral("Mp4"),
                         QStringLiteral("txt"), QStringLiteral("Plist"), QStringLiteral("Xml"),
                         QStringLiteral("Sqlite"), QStringLiteral("Db")});
    FFilterCb->setCurrentIndex(0);
    connect(FFilterCb, &QComboBox::currentTextChanged, this, [this] { Refill(); });
    connect(FAppCb, &QCheckBox::toggled, this, [this] { Refill(); });

    auto* paneLayout = new QVBoxLayout(pane);
    paneLayout->setContentsMargins(0, 0, 0, 8);
    paneLayout->setSpacing(0);
    paneLayout->addWidget(MakeCaptionBar(QStringLiteral("Information"), pane));
    paneLayout->addSpacing(8);
    paneLayout->addWidget(FViewImg, 0, Qt::AlignHCenter);
    paneLayout->addSpacing(16);
    paneLayout->addWidget(FInfoLb);
    paneLayout->addStretch(1);
    auto* filters = new QVBoxLayout();
    filters->setContentsMargins(8, 0, 8, 0);
    filters->setSpacing(6);
    filters->addWidget(FAppCb);
    filters->addWidget(rule);
    filters->addWidget(new QLabel(QStringLiteral("Files of type:"), pane));
    filters->addWidget(FFilterCb);
    paneLayout->addLayout(filters);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(FFileLst, 1);
    layout->addWidget(pane);
    Refill();
}

const std::string& TFileFrm::Key(int record) const {
    return FSession.Files().At(static_cast<std::size_t>(record)).first;
}

int TFileFrm::Refill() {
    QString filter;
    if (FFilterCb->currentIndex() != 0 || FFilterCb->currentText() != FFilterCb->itemText(0)) {
        const QString text = FFilterCb->currentText();
        if (!text.isEmpty()) {
            filter = QLatin1Char('.') + text;
        }
    }
    const std::string extension = ToStdString(filter);
    const bool app = FAppCb->isChecked();
    const TFileTable& files = FSession.Files();
    std::vector<int> records;
    for (std::size_t i = 0; i < files.Size(); ++i) {
        const auto& [key, file] = files.At(i);
        if (file.IsApp != app) {
            continue;
        }
        if (!extension.empty()) {
            const std::size_t dot = key.rfind('.');
            if (dot == std::string::npos || !SameTextAscii(std::string_view(key).substr(dot), extension)) {
                continue;
            }
        }
        records.push_back(static_cast<int>(i));
    }
    const int count = static_cast<int>(records.size());
    FModel->SetRecords(std::move(records));
    return count;
}

std::int64_t TFileFrm::ContentSize(int record) const {
    struct stat st {};
    const std::string path = FSession.GetFilePath(Key(record));
    return (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ? st.st_size : 0;
}

void TFileFrm::FileClicked(int row) {
    if (row < 0 || row >= FModel->rowCount()) {
        return;
    }
    const int clicked = FModel->RecordAt(row);
    const std::vector<int> selected = FFileLst->SelectedRecords();
    std::int64_t total = 0;
    for (int record : selected) {
        if (record != clicked) {
            total += ContentSize(record);
        }
    }
    total += ContentSize(clicked);
    Preview(clicked);
    QString info = FInfoLb->text();
    if (selected.size() > 1) {
        info += QLatin1Char('\n') + QString::number(selected.size()) + QStringLiteral(" files selected");
    }
    info += QLatin1Char('\n') + SizeText(total);
    FInfoLb->setText(info);
}

void TFileFrm::Preview(int record) {
    const std::string& key = Key(record);
    if (ContentSize(record) == 0 && !QFileInfo::exists(ToQString(FSession.GetFilePath(key)))) {
        return;
    }
    if (IsPictureKey(key)) {
        FInfoLb->setText(QStringLiteral("Image file"));
        std::string bytes;
        if (!FSession.LoadBackupFile(key, bytes)) {
            return;
        }
        const QImage image = DecodePicture(bytes);
        if (image.isNull()) {
            return;
        }
        int width = 0;
        int height = 0;
        PreviewPictureSize(image.width(), image.height(), kPreviewBox, kPreviewBox, width, height);
        FViewImg->setPixmap(
            QPixmap::fromImage(image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
        return;
    }
    const QMimeDatabase mimes;
    const QString extension = ToQString(ExtensionOf(key));
    const QMimeType type =
        mimes.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
    // A type the system does not know is named after its extension, "PLIST file".
    FInfoLb->setText(type.isDefault() && !extension.isEmpty() ? extension.toUpper() + QStringLiteral(" file")
                                                              : type.comment());
    QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
    if (icon.isNull()) {
        icon = style()->standardIcon(QStyle::SP_FileIcon);
    }
    FViewImg->setPixmap(icon.pixmap(64, 64));
}

bool TFileFrm::Matches(int record, const QString& key) const {
    return MatchesSearch(Key(record), key);
}

std::optional<TExportJob> TFileFrm::PrepareExport() {
    if (FModel->rowCount() == 0) {
        ShowInformation(window(), QStringLiteral("No file to export."));
        return std::nullopt;
    }
    const std::vector<int> selected = FFileLst->SelectedRecords();
    if (selected.empty()) {
        ShowWarning(window(), QStringLiteral(
                                  "No file has been selected.\rPlease select the files you want to export."));
        return std::nullopt;
    }
    if (selected.size() >= 9 &&
        !AskOkCancel(window(),
                     QStringLiteral(
                         "Multiple files have been selected.\rAre you sure you want to export them all?"))) {
        return std::nullopt;
    }
    TExportFrom dialog(window());
    dialog.SetSession(&FSession);
    dialog.Prepare(ecFiles, static_cast<int>(selected.size()));
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    std::vector<std::string> keys;
    keys.reserve(selected.size());
    for (int record : selected) {
        keys.push_back(Key(record));
    }
    TIpodBackup* session = &FSession;
    TExportJob job;
    job.Destination = dialog.Destination();
    job.Run = [session, keys = std::move(keys), format = dialog.FormatCode(),
               dest = ToStdString(dialog.Destination())](const TExportControl& control) {
        return ExportBackupFiles(*session, keys, format, dest, control);
    };
    return job;
}

} // namespace kestrow
