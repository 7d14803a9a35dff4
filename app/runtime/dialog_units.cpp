#include "runtime/dialog_units.h"
#include "runtime/qt/fixed_pitch_font.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>

namespace kvr::runtime {

namespace {

// Multiplies and divides with rounding to the nearest integer, halves away
// from zero.
int scale(int value, int numerator, int denominator) {
    if (denominator == 0) return 0;
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    const long long rounded = product >= 0 ? (product + half) / denominator : (product - half) / denominator;
    return static_cast<int>(std::clamp<long long>(rounded, INT32_MIN, INT32_MAX));
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

DialogUnits::DialogUnits(const QFont &font) {
    const QFontMetrics metrics(font);
    // The average width of the 52 letters, rounded to whole pixels.
    static const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = std::max(1, (metrics.horizontalAdvance(letters) / 26 + 1) / 2);
    baseY_ = std::max(1, metrics.height());
}

DialogUnits::DialogUnits(int averageCharWidth, int charHeight)
    : baseX_(std::max(1, averageCharWidth)), baseY_(std::max(1, charHeight)) {}

int DialogUnits::toPixelsX(int units) const { return scale(units, baseX_, 4); }
int DialogUnits::toPixelsY(int units) const { return scale(units, baseY_, 8); }
int DialogUnits::fromPixelsX(int pixels) const { return scale(pixels, 4, baseX_); }
int DialogUnits::fromPixelsY(int pixels) const { return scale(pixels, 8, baseY_); }

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

}  // namespace kvr::runtime
