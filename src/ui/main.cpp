// kestrow [BACKUP_ROOT]: the desktop application.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/backup_list.h"
#include "ui/app_info.h"
#include "ui/app_setup.h"
#include "ui/main_form.h"

namespace {

// The window icon: a rounded square with the initial, drawn so no picture file is needed.
QIcon AppIcon() {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x10, 0x87, 0xFE));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(4, 4, 56, 56, 12, 12);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(40);
    painter.setFont(font);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("K"));
    return QIcon(pixmap);
}

// Without a folder on the command line or in $KESTROW_BACKUP_ROOT: the folder of the last run, as
// long as it is still there, else the usual place.
std::string StartRoot() {
    const char* fromEnvironment = std::getenv("KESTROW_BACKUP_ROOT");
    if (fromEnvironment == nullptr || *fromEnvironment == '\0') {
        const QSettings settings(kestrow::TAppInfo::OrganizationName(), kestrow::TAppInfo::ProductName());
        const QString last = settings.value(QStringLiteral("LastRoot")).toString();
        if (!last.isEmpty() && QFileInfo(last).isDir()) {
            return last.toStdString();
        }
    }
    return kestrow::BackupRoot();
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("Usage: kestrow [BACKUP_ROOT]\nBrowse and export the device backups in BACKUP_ROOT "
                    "(default: $KESTROW_BACKUP_ROOT or the usual place).\n");
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("kestrow %s\n", KESTROW_VERSION);
        return 0;
    }
    if (argc > 2) {
        std::fprintf(stderr, "Usage: kestrow [BACKUP_ROOT]\n");
        return 64;
    }
    kestrow::PrepareApplication();
    QApplication app(argc, argv);
    // Numbers are read and written with "." whatever the user's locale.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(kestrow::TAppInfo::ProductName());
    QApplication::setOrganizationName(kestrow::TAppInfo::OrganizationName());
    QApplication::setWindowIcon(AppIcon());
    QApplication::setDesktopFileName(QStringLiteral("kestrow"));
    std::string root = argc == 2 ? std::string(argv[1]) : StartRoot();
    if (!root.empty() && root.back() != '/') {
        root += '/';
    }
    kestrow::TMainForm form(root);
    form.show();
    return app.exec();
}
