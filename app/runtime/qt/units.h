// Dialog units measured on a Qt font, with the conversions in Qt's own
// types, and the fonts window definitions name.
#ifndef KVR_RUNTIME_QT_UNITS_H
#define KVR_RUNTIME_QT_UNITS_H

#include "runtime/dialog_units.h"

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <string>

class QWidget;

namespace kvr::runtime::qt {

// The font a window definition names: "Fixedsys" is a fixed-pitch font
// (fixedPitchFont()), "MS Sans Serif" the general user-interface font (both
// at the size the desktop chose for them); any other face is looked up by
// name at the given point size (0 = the general font's size).
QFont windowFont(const std::string &face, int pointSize = 0);

class DialogUnits : public runtime::DialogUnits {
public:
    // Base units of the font: the average width of its 52 letters and its
    // character height, in pixels.
    explicit DialogUnits(const QFont &font);
    DialogUnits(int averageCharWidth, int charHeight) : runtime::DialogUnits(averageCharWidth, charHeight) {}

    using runtime::DialogUnits::fromPixels;
    using runtime::DialogUnits::toPixels;
    QPoint toPixels(QPoint units) const;
    QSize toPixels(QSize units) const;
    QRect toPixels(QRect units) const;
    QPoint fromPixels(QPoint pixels) const;
    QSize fromPixels(QSize pixels) const;
};

inline QRect toQt(const Rect &r) { return {r.x, r.y, r.width, r.height}; }
inline QSize toQt(const Size &s) { return {s.width, s.height}; }

// Places child at (x, y) with size w x h, in dialog units of the font of its
// parent widget.
void placeInDialogUnits(QWidget *child, int x, int y, int w, int h);

}  // namespace kvr::runtime::qt

#endif
