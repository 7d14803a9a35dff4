// Writes the product icon, as the program draws it, into an icon theme
// folder: FOLDER/NxN/apps/kvrman1.png for every size N given.
//   kvr_icon_export FOLDER SIZE...
#include "runtime/qt/app_icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    QGuiApplication application(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 1) return 2;
        const QString apps = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(apps) || !kvr::runtime::qt::applicationIconPixmap(size).save(apps + "/kvrman1.png", "PNG")) {
            std::fprintf(stderr, "cannot write %s/kvrman1.png\n", qPrintable(apps));
            return 1;
        }
    }
    return 0;
}
