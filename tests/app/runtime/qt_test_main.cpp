// Runs GoogleTest inside a QApplication on Qt's offscreen platform, with the
// Qt toolkit in place as the program entry puts it.
#include "runtime/qt/toolkit.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const kvr::runtime::qt::Toolkit toolkit;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
