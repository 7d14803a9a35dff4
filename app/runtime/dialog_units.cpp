#include "runtime/dialog_units.h"

#include <algorithm>
#include <cstdint>

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

DialogUnits::DialogUnits(int averageCharWidth, int charHeight)
    : baseX_(std::max(1, averageCharWidth)), baseY_(std::max(1, charHeight)) {}

int DialogUnits::toPixelsX(int units) const { return scale(units, baseX_, 4); }
int DialogUnits::toPixelsY(int units) const { return scale(units, baseY_, 8); }
int DialogUnits::fromPixelsX(int pixels) const { return scale(pixels, 4, baseX_); }
int DialogUnits::fromPixelsY(int pixels) const { return scale(pixels, 8, baseY_); }

Point DialogUnits::toPixels(Point units) const { return {toPixelsX(units.x), toPixelsY(units.y)}; }
Size DialogUnits::toPixels(Size units) const { return {toPixelsX(units.width), toPixelsY(units.height)}; }
Rect DialogUnits::toPixels(Rect units) const {
    const Point at = toPixels(Point{units.x, units.y});
    const Size size = toPixels(Size{units.width, units.height});
    return {at.x, at.y, size.width, size.height};
}
Point DialogUnits::fromPixels(Point pixels) const { return {fromPixelsX(pixels.x), fromPixelsY(pixels.y)}; }
Size DialogUnits::fromPixels(Size pixels) const { return {fromPixelsX(pixels.width), fromPixelsY(pixels.height)}; }

}  // namespace kvr::runtime
