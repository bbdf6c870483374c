#pragma once

#include <QString>

namespace kestrow {

// The product's constants: its name, the version shown to users and its web addresses.
struct TAppInfo {
    static QString ProductName() { return QStringLiteral("Kestrow"); }
    static QString Version() { return QStringLiteral("2.1"); }
    // "Kestrow 2.1": the window caption and the first line of the run log.
    static QString Caption() { return ProductName() + QLatin1Char(' ') + Version(); }
    // The product's web address: the setting "WebAddress" (organization "kestrowapp"), else the
    // project's page.
    static QString WebAddress();
    static QString HelpAddress() { return WebAddress() + QStringLiteral("help/"); }
    static QString TransferAddress() { return WebAddress() + QStringLiteral("transfer/"); }
    // The terms the program is given under, as the Help window states them.
    static QString Licence() {
        return QStringLiteral("Licence: MIT, the terms in the LICENSE file that comes with Kestrow "
                              "(Show Details...).");
    }
    // The LICENSE file's text, built into the program so the Help window always has it.
    static QString LicenceText();
    static QString OrganizationName() { return QStringLiteral("kestrowapp"); }
};

} // namespace kestrow
