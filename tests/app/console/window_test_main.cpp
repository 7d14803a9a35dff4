// The window tests run on Qt's offscreen platform, with their settings and
// command file in a temporary folder.
#include "runtime/qt/program_style.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    setenv("XDG_CONFIG_HOME", QDir(home.path()).filePath("config").toLocal8Bit().constData(), 1);
    QDir::setCurrent(home.path());
    QApplication app(argc, argv);
    kvr::runtime::qt::useProgramStyle();  // as the program does
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
