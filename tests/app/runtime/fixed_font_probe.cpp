// Reports the font the program takes for "Fixedsys" with the fonts this
// process is offered (the test gives it a fontconfig configuration of its
// own), one fact a line:
//   desktop FAMILY           the desktop's fixed font
//   chosen FAMILY            the font of "Fixedsys"
//   widths NARROWEST WIDEST  advances of the printable ASCII characters in it
//   units AVERAGE M          its dialog-unit base width, the advance of "M"
#include "runtime/qt/units.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>

#include <algorithm>
#include <climits>
#include <cstdio>

int main(int argc, char **argv) {
    QGuiApplication app(argc, argv);
    const QFont desktop = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFont chosen = kvr::runtime::qt::windowFont("Fixedsys");
    const QFontMetrics metrics(chosen);
    int narrowest = INT_MAX, widest = 0;
    for (char c = ' '; c <= '~'; ++c) {
        const int width = metrics.horizontalAdvance(QLatin1Char(c));
        narrowest = std::min(narrowest, width);
        widest = std::max(widest, width);
    }
    std::printf("desktop %s\n", qPrintable(QFontInfo(desktop).family()));
    std::printf("chosen %s\n", qPrintable(QFontInfo(chosen).family()));
    std::printf("widths %d %d\n", narrowest, widest);
    std::printf("units %d %d\n", kvr::runtime::qt::DialogUnits(chosen).averageCharWidth(),
                metrics.horizontalAdvance(QLatin1Char('M')));
    return 0;
}
