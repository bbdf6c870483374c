#pragma once

#include <QSettings>
#include <cstdlib>
#include <string>

#include "platform/temp_folder.h"

namespace kestrow::test {

// The demo backups, written once for all desktop tests: 0 Anna (plain), 1 Anna (encrypted),
// 2 Ben's iPod (oldest layout), 3 Chloe (current, plain), 4 Chloe (current, encrypted).
inline const std::string& DemoRoot() {
    static const TTempFolder folder;
    static const std::string root = [] {
        const std::string path = folder.Path() + "backups/";
        const std::string command = std::string(KESTROW_MKDEMO) + " '" + path + "' >/dev/null";
        return std::system(command.c_str()) == 0 ? path : std::string();
    }();
    return root;
}

inline void ForgetSettings() {
    QSettings settings(QStringLiteral("kestrowapp"), QStringLiteral("Kestrow"));
    settings.clear();
}

} // namespace kestrow::test
