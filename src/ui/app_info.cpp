#include "ui/app_info.h"

#include <QSettings>

#include "licence_text.h"

namespace kestrow {

QString TAppInfo::WebAddress() {
    const QSettings settings(OrganizationName(), ProductName());
    QString address = settings.value(QStringLiteral("WebAddress")).toString().trimmed();
    if (address.isEmpty()) {
        address = QStringLiteral("https://kestrow.example.org/");
    }
    if (!address.endsWith(QLatin1Char('/'))) {
        address += QLatin1Char('/');
    }
    return address;
}

QString TAppInfo::LicenceText() {
    return QString::fromUtf8(kLicenceText);
}

} // namespace kestrow
