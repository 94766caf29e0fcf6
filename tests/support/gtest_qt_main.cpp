// Runs GoogleTest inside a Qt application: fonts, painting and widgets need one.
#include <cstdlib>

#include <QStandardPaths>

#include <gtest/gtest.h>

#ifdef VELLUMAR_TEST_WIDGETS
#include <QApplication>
using TTestApplication = QApplication;
#else
#include <QGuiApplication>
using TTestApplication = QGuiApplication;
#endif

int main(int argc, char *argv[])
{
    // Headless by default, so a plain shell and CI behave alike.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    // Whatever a test keeps (a window's last used settings) goes to Qt's test folders, never the user's.
    QStandardPaths::setTestModeEnabled(true);
    TTestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
