// What every screenshot program needs: the folder named on its command line,
// a private home (settings and command files of its own, so a developer's
// are never touched or shown), the application, and pictures saved there.
// The programs run under xvfb-run (scripts/screenshots); they are not tests.
#ifndef KVR_TESTS_APP_SCREENSHOTS_H
#define KVR_TESTS_APP_SCREENSHOTS_H

#include "runtime/qt/program_style.h"
#include "runtime/qt/title_bar.h"
#include "runtime/qt/window.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QRect>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace kvr::test_support {

class Screenshots {
public:
    // The folder is argv[1] (default: the current directory), made when
    // missing; the current directory becomes the private home.
    Screenshots(int &argc, char **argv)
        : folder_(QFileInfo(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString(".")).absoluteFilePath()) {
        ready_ = folder_.exists() || QDir().mkpath(folder_.path());
        setenv("XDG_CONFIG_HOME", QDir(home_.path()).filePath("config").toLocal8Bit().constData(), 1);
        QDir::setCurrent(home_.path());
        app_ = std::make_unique<QApplication>(argc, argv);
        runtime::qt::useProgramStyle();
    }

    // Whether the folder is there to be written.
    bool ready() const { return ready_; }

    // Saves a picture of the widget as FILE in the folder and prints its
    // path; says whether it was written.
    bool save(QWidget &widget, const char *file) {
        const QString path = folder_.filePath(QString::fromUtf8(file));
        if (!widget.grab().save(path)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        ++saved_;
        return true;
    }

    // Saves a picture of the window under a title bar drawn as the program
    // style draws one (there is no window manager under Xvfb): a title too
    // long for the window shows cut there.
    bool saveWithTitleBar(QWidget &window, const char *file) {
        const QPixmap picture = window.grab();
        const QStyleOptionTitleBar bar =
            runtime::qt::titleBarOption(window.windowTitle(), picture.width(), *window.style());
        QPixmap framed(picture.width(), picture.height() + bar.rect.height());
        framed.fill(Qt::white);
        {
            QPainter painter(&framed);
            painter.setFont(runtime::qt::titleBarFont());
            window.style()->drawComplexControl(QStyle::CC_TitleBar, &bar, &painter, &window);
            painter.drawPixmap(0, bar.rect.height(), picture);
        }
        const QString path = folder_.filePath(QString::fromUtf8(file));
        if (!framed.save(path)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        ++saved_;
        return true;
    }

    // Saves a picture of part of the screen, as it shows: windows of their
    // own over the widgets (a tip, a menu) included.
    bool saveScreen(const QRect &area, const char *file) {
        const QString path = folder_.filePath(QString::fromUtf8(file));
        QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen || !screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
        ++saved_;
        return true;
    }

    // How many pictures were written.
    int saved() const { return saved_; }

    // Brings a window that has just opened to the front and lets it paint.
    static void settle(runtime::qt::Window &window) {
        window.activateWindow();
        (void)QTest::qWaitForWindowActive(&window, 1000);
        QTest::qWait(100);
    }

private:
    QDir folder_;
    QTemporaryDir home_;
    std::unique_ptr<QApplication> app_;
    bool ready_ = false;
    int saved_ = 0;
};

}  // namespace kvr::test_support

#endif
