#include "runtime/qt/fixed_pitch_font.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>

namespace kvr::runtime::qt {

namespace {

// Tried in this order after the desktop's fixed font.  A face that is not
// installed is replaced by whatever the font matching finds, which is then
// judged like any other.
constexpr const char *kFixedPitchFaces[] = {
    "DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono", "Noto Mono", "Ubuntu Mono",
    "Nimbus Mono PS",   "FreeMono",        "Courier New",    "Courier",
};

}  // namespace

bool hasFixedPitch(const QFont &font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QLatin1Char(' '));
    if (width <= 0) return false;
    for (char c = '!'; c <= '~'; ++c)
        if (metrics.horizontalAdvance(QLatin1Char(c)) != width) return false;
    return true;
}

QFont fixedPitchFont() {
    const QFont desktop = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (hasFixedPitch(desktop)) return desktop;
    for (const char *face : kFixedPitchFaces) {
        QFont font(QString::fromLatin1(face));
        if (desktop.pointSizeF() > 0)
            font.setPointSizeF(desktop.pointSizeF());
        else if (desktop.pixelSize() > 0)
            font.setPixelSize(desktop.pixelSize());
        font.setStyleHint(QFont::TypeWriter);
        if (hasFixedPitch(font)) return font;
    }
    return desktop;
}

}  // namespace kvr::runtime::qt
