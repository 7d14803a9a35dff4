#include "runtime/profile.h"
#include "runtime/qt/window.h"
#include "runtime/qt/window_position.h"
#include "scripted_interaction.h"
#include "temporary_config.h"

#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

#include <memory>

namespace kvr::runtime::qt {
namespace {

using kvr::test_support::TemporaryConfig;

constexpr const char *kFile = "KVRMAN1.INI";

class WindowPositionTest : public ::testing::Test {
protected:
    test_support::ScriptedInteraction interaction;

    std::unique_ptr<Window> open(bool resizable) {
        auto window = std::make_unique<Window>(runtime::WindowDefinition{.name = "INFOLECTOR$WINDOW",
                                                                         .title = "Información del Lector",
                                                                         .fontFace = "Fixedsys",
                                                                         .clientSize = {130, 50},
                                                                         .resizable = resizable},
                                               interaction);
        window->adjustSize();
        if (!resizable) window->setFixedSize(window->sizeHint());
        window->show();
        return window;
    }

    // The place of a window in dialog units of its font.
    static QRect inUnits(const Window &window, const QRect &pixels) {
        const auto &u = window.units();
        return {u.fromPixelsX(pixels.x()), u.fromPixelsY(pixels.y()), u.fromPixelsX(pixels.width()),
                u.fromPixelsY(pixels.height())};
    }

    std::string read(const char *key) const { return runtime::readProfileString("InfoLector", key, "<none>", kFile); }

    TemporaryConfig config;
};

TEST_F(WindowPositionTest, ANormalWindowComesBackWhereItWas) {
    auto first = open(true);
    const QRect place = first->units().toPixels(QRect(40, 30, 150, 90));
    first->setGeometry(place);
    storeWindowPosition(first.get(), "InfoLector", kFile);
    EXPECT_EQ(config.settings(), QByteArray("[InfoLector]\nMaximize=No\nXPosit=40\nYPosit=30\nWidth=150\nHeight=90\n"));
    first.reset();

    auto second = open(true);
    restoreWindowPosition(second.get(), "InfoLector", kFile);
    EXPECT_EQ(second->geometry(), place);
    EXPECT_FALSE(second->isMaximized());
}

TEST_F(WindowPositionTest, AMaximizedWindowStoresItsNormalPlaceAndIsMaximizedAgain) {
    auto first = open(true);
    const QRect place = first->units().toPixels(QRect(40, 30, 150, 90));
    first->setGeometry(place);
    first->showMaximized();
    ASSERT_TRUE(first->isMaximized());
    storeWindowPosition(first.get(), "InfoLector", kFile);
    EXPECT_FALSE(first->isMaximized()) << "maximized is switched off";
    EXPECT_EQ(read("Maximize"), "Yes");
    EXPECT_EQ(inUnits(*first, place), QRect(std::stoi(read("XPosit")), std::stoi(read("YPosit")),
                                            std::stoi(read("Width")), std::stoi(read("Height"))));
    first.reset();

    auto second = open(true);
    restoreWindowPosition(second.get(), "InfoLector", kFile);
    EXPECT_TRUE(second->isMaximized());
    EXPECT_EQ(second->normalGeometry(), place);
}

TEST_F(WindowPositionTest, AMinimizedWindowLeavesTheSectionAsItWas) {
    const QByteArray before("[InfoLector]\nMaximize=Yes\nXPosit=7\nYPosit=8\nWidth=100\nHeight=60\n");
    config.writeSettings(before);
    auto window = open(true);
    window->showMinimized();
    storeWindowPosition(window.get(), "InfoLector", kFile);
    EXPECT_EQ(config.settings(), before);

    // Maximized and minimized at once: maximized is switched off, nothing written.
    window->setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
    storeWindowPosition(window.get(), "InfoLector", kFile);
    EXPECT_EQ(config.settings(), before);
    EXPECT_FALSE(window->windowState() & Qt::WindowMaximized);
}

TEST_F(WindowPositionTest, RestoreRules) {
    struct Case {
        const char *name;
        QByteArray section;
        bool resizable;
        bool moved;    // placed at 40,30
        bool resized;  // sized 150 x 90
        bool maximized;
    };
    const Case cases[] = {
        {"all stored", "Maximize=No\nXPosit=40\nYPosit=30\nWidth=150\nHeight=90\n", true, true, true, false},
        {"XPosit 0 restores nothing, not even maximized", "Maximize=Yes\nXPosit=0\nYPosit=30\nWidth=150\nHeight=90\n",
         true, false, false, false},
        {"XPosit missing", "Maximize=Yes\nYPosit=30\n", true, false, false, false},
        {"YPosit 0 keeps the place but maximizes", "Maximize=Yes\nXPosit=40\nYPosit=0\nWidth=150\nHeight=90\n", true,
         false, false, true},
        {"Width 0 keeps the place", "Maximize=No\nXPosit=40\nYPosit=30\nWidth=0\nHeight=90\n", true, false, false,
         false},
        {"a fixed-size window takes only the position", "XPosit=40\nYPosit=30\nWidth=150\nHeight=90\n", false, true,
         false, false},
        {"a fixed-size window needs no size", "XPosit=40\nYPosit=30\n", false, true, false, false},
        {"Yes with trailing blanks", "Maximize=Yes   \nXPosit=40\nYPosit=30\nWidth=150\nHeight=90\n", true, true, true,
         true},
        {"only Yes maximizes", "Maximize=yes\nXPosit=40\nYPosit=30\nWidth=150\nHeight=90\n", true, true, true, false},
        {"numbers with trailing text", "XPosit=40px\nYPosit= 30\nWidth=150.5\nHeight=90\n", true, true, true, false},
        {"not numbers", "Maximize=Yes\nXPosit=left\nYPosit=30\n", true, false, false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        config.writeSettings("[InfoLector]\n" + c.section);
        auto window = open(c.resizable);
        const QRect designed = window->geometry();
        restoreWindowPosition(window.get(), "InfoLector", kFile);
        const QRect place = window->isMaximized() ? window->normalGeometry() : window->geometry();
        const QRect stored = window->units().toPixels(QRect(40, 30, 150, 90));
        EXPECT_EQ(place.topLeft(), c.moved ? stored.topLeft() : designed.topLeft());
        EXPECT_EQ(place.size(), c.resized ? stored.size() : designed.size());
        EXPECT_EQ(window->isMaximized(), c.maximized);
    }
}

// A window's first place is beside the one it belongs to, never over it
// when the screen has room, and always on the screen.
TEST(PlaceBeside, ToTheRightElseLeftElseBelowAndAlwaysOnTheScreen) {
    const QRect screen(0, 0, 1280, 1024);
    const QSize frame(500, 300);
    const struct Row {
        const char *what;
        QRect beside;
        QRect available;
        QPoint at;
    } rows[] = {
        {"room on the right", QRect(10, 20, 600, 400), screen, QPoint(614, 20)},
        {"room on the left only", QRect(700, 20, 560, 400), screen, QPoint(196, 20)},
        {"room below only", QRect(10, 20, 1260, 400), screen, QPoint(10, 424)},
        {"no room anywhere: at the right edge", QRect(0, 0, 1280, 900), screen, QPoint(780, 0)},
        {"low on the screen: lifted onto it", QRect(10, 900, 600, 100), screen, QPoint(614, 724)},
        {"a screen that does not start at 0", QRect(1300, 50, 600, 400), QRect(1280, 0, 1280, 1024), QPoint(1904, 50)},
        {"a window larger than the screen keeps its top-left corner on it", QRect(10, 20, 600, 400),
         QRect(0, 0, 400, 200), QPoint(0, 0)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        const QPoint at = placeBeside(row.beside, frame, row.available);
        EXPECT_EQ(at, row.at);
        if (row.available.width() >= frame.width() && row.available.height() >= frame.height()) {
            EXPECT_TRUE(row.available.contains(QRect(at, frame)));
        }
    }
}

TEST_F(WindowPositionTest, AMaximizedWindowOnlyTakesTheMaximizedState) {
    config.writeSettings("[InfoLector]\nMaximize=No\nXPosit=40\nYPosit=30\nWidth=150\nHeight=90\n");
    auto window = open(true);
    const QRect designed = window->geometry();
    window->showMaximized();
    restoreWindowPosition(window.get(), "InfoLector", kFile);
    EXPECT_FALSE(window->isMaximized());
    EXPECT_NE(window->geometry(), window->units().toPixels(QRect(40, 30, 150, 90)));
    EXPECT_EQ(window->geometry().topLeft(), designed.topLeft());
}

// A window never opens off every screen: a stored place that would put it
// there is ignored, and a stored size larger than the desktop is cut.
TEST_F(WindowPositionTest, AbsurdPlacesAreNotUsed) {
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    const std::string farRight = std::to_string(desktop.right() * 4 + 1000);
    const QByteArray off[] = {
        "XPosit=-5000\nYPosit=-5000\nWidth=150\nHeight=90\n",
        QByteArray("XPosit=") + farRight.c_str() + "\nYPosit=30\nWidth=150\nHeight=90\n",
        "XPosit=40\nYPosit=99999999999999\nWidth=150\nHeight=90\n",
        "XPosit=40\nYPosit=30\nWidth=-150\nHeight=90\n",
        "XPosit=2147483647\nYPosit=2147483647\nWidth=2147483647\nHeight=2147483647\n",
    };
    for (const QByteArray &section : off) {
        SCOPED_TRACE(section.toStdString());
        config.writeSettings("[InfoLector]\n" + section);
        auto window = open(true);
        const QRect designed = window->geometry();
        restoreWindowPosition(window.get(), "InfoLector", kFile);
        EXPECT_EQ(window->geometry(), designed);
    }

    config.writeSettings("[InfoLector]\nXPosit=10\nYPosit=10\nWidth=90000\nHeight=90000\n");
    auto window = open(true);
    restoreWindowPosition(window.get(), "InfoLector", kFile);
    EXPECT_LE(window->width(), desktop.width());
    EXPECT_LE(window->height(), desktop.height());
    EXPECT_EQ(window->geometry().topLeft(), window->units().toPixels(QPoint(10, 10)));
}

}  // namespace
}  // namespace kvr::runtime::qt
