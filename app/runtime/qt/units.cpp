#include "runtime/qt/units.h"

#include "runtime/qt/fixed_pitch_font.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

namespace kvr::runtime::qt {

namespace {

runtime::DialogUnits measured(const QFont &font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 letters, rounded to whole pixels.
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(metrics.horizontalAdvance(letters) / 26 + 1) / 2, metrics.height()};
}

}  // namespace

QFont windowFont(const std::string &face, int pointSize) {
    if (face == "Fixedsys") return fixedPitchFont();
    QFont general = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    if (face.empty() || face == "MS Sans Serif") return general;
    QFont font(QString::fromStdString(face));
    font.setPointSize(pointSize > 0 ? pointSize : general.pointSize());
    return font;
}

DialogUnits::DialogUnits(const QFont &font) : runtime::DialogUnits(measured(font)) {}

QPoint DialogUnits::toPixels(QPoint units) const { return {toPixelsX(units.x()), toPixelsY(units.y())}; }
QSize DialogUnits::toPixels(QSize units) const { return {toPixelsX(units.width()), toPixelsY(units.height())}; }
QRect DialogUnits::toPixels(QRect units) const { return {toPixels(units.topLeft()), toPixels(units.size())}; }
QPoint DialogUnits::fromPixels(QPoint pixels) const { return {fromPixelsX(pixels.x()), fromPixelsY(pixels.y())}; }
QSize DialogUnits::fromPixels(QSize pixels) const {
    return {fromPixelsX(pixels.width()), fromPixelsY(pixels.height())};
}

void placeInDialogUnits(QWidget *child, int x, int y, int w, int h) {
    const QWidget *parent = child->parentWidget();
    const DialogUnits units(parent ? parent->font() : child->font());
    child->setGeometry(units.toPixels(QRect(x, y, w, h)));
}

}  // namespace kvr::runtime::qt
