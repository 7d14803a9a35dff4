#include "runtime/qt/units.h"
#include "runtime/qt/window.h"
#include "scripted_interaction.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>

#include <gtest/gtest.h>

namespace kvr::runtime::qt {
namespace {

TEST(DialogUnits, ScaleByAQuarterCharacterWidthAndAnEighthCharacterHeight) {
    struct Case {
        int baseX, baseY, unitsX, unitsY, pixelsX, pixelsY;
    };
    const Case cases[] = {
        {8, 16, 4, 8, 8, 16},                                    // one character
        {8, 16, 260, 110, 520, 220}, {6, 13, 81, 69, 122, 112},  // 121.5 and 112.125 rounded
        {7, 15, 1, 1, 2, 2},                                     // 1.75 and 1.875 rounded up
        {7, 15, 0, 0, 0, 0},         {6, 13, -4, -8, -6, -13},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.baseX << "x" << c.baseY << " " << c.unitsX << "," << c.unitsY);
        const DialogUnits units(c.baseX, c.baseY);
        EXPECT_EQ(units.toPixels(QPoint(c.unitsX, c.unitsY)), QPoint(c.pixelsX, c.pixelsY));
    }
}

TEST(DialogUnits, PixelsConvertBackToTheSameUnits) {
    const DialogUnits units(7, 15);
    for (int value = -300; value <= 300; ++value) {
        EXPECT_EQ(units.fromPixelsX(units.toPixelsX(value)), value);
        EXPECT_EQ(units.fromPixelsY(units.toPixelsY(value)), value);
    }
    EXPECT_EQ(units.fromPixels(QSize(14, 30)), QSize(8, 16));
}

TEST(DialogUnits, BaseUnitsComeFromTheFont) {
    // The average width of the 52 letters, rounded, and the character
    // height, whatever fonts this machine has.  (That the average of a
    // fixed-pitch font is the width of each letter is checked with known
    // fonts in the fixed-pitch font tests.)
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    for (const QFont &font : {windowFont("Fixedsys"), windowFont("MS Sans Serif", 8)}) {
        SCOPED_TRACE(font.family().toStdString());
        const QFontMetrics metrics(font);
        const DialogUnits units(font);
        EXPECT_NEAR(units.averageCharWidth(), metrics.horizontalAdvance(letters) / 52.0, 0.5);
        EXPECT_EQ(units.charHeight(), metrics.height());
    }

    // A larger font gives larger units.
    QFont big = windowFont("MS Sans Serif", 8);
    big.setPointSize(big.pointSize() * 3);
    EXPECT_GT(DialogUnits(big).charHeight(), DialogUnits(windowFont("MS Sans Serif", 8)).charHeight());
}

TEST(DialogUnits, WindowsAndControlsAreSizedInUnitsOfTheirFont) {
    test_support::ScriptedInteraction interaction;
    Window window({.name = "TEST$WINDOW", .title = "t", .fontFace = "Fixedsys", .clientSize = {260, 110}}, interaction);
    auto *label = new QLabel(QStringLiteral("DATOS"), window.client());
    window.place(label, 130, 12, 120, 10);
    window.show();
    const DialogUnits units(windowFont("Fixedsys"));
    EXPECT_EQ(window.client()->size(), units.toPixels(QSize(260, 110)));
    EXPECT_EQ(label->geometry(), units.toPixels(QRect(130, 12, 120, 10)));

    auto *other = new QLabel(QStringLiteral("x"), window.client());
    placeInDialogUnits(other, 4, 50, 252, 42);
    EXPECT_EQ(other->geometry(), units.toPixels(QRect(4, 50, 252, 42)));
}

}  // namespace
}  // namespace kvr::runtime::qt
