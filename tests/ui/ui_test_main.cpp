// The desktop tests need a QApplication before any window and the page scheme before that.
#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include "ui/app_setup.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    kestrow::PrepareApplication();
    // Settings and the Documents folder of the tests stay out of the user's own.
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("kestrowapp"));
    QApplication::setApplicationName(QStringLiteral("Kestrow"));
    return RUN_ALL_TESTS();
}
