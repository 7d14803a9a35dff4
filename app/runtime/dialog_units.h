// Dialog units: the measure in which windows and their controls are defined.
//
// A horizontal dialog unit is a quarter of the average character width of the
// window's font, a vertical unit an eighth of its character height, so a
// layout keeps its proportions at any font size.  Conversions round to the
// nearest pixel.
#ifndef KVR_RUNTIME_DIALOG_UNITS_H
#define KVR_RUNTIME_DIALOG_UNITS_H

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <string>

class QWidget;

namespace kvr::runtime {

// The font a window definition names: "Fixedsys" is a fixed-pitch font
// (fixedPitchFont()), "MS Sans Serif" the general user-interface font (both
// at the size the desktop chose for them); any other face is looked up by
// name at the given point size (0 = the general font's size).
QFont windowFont(const std::string &face, int pointSize = 0);

class DialogUnits {
public:
    // Base units of the font: average character width and character height
    // in pixels.
    explicit DialogUnits(const QFont &font);
    DialogUnits(int averageCharWidth, int charHeight);

    int averageCharWidth() const { return baseX_; }
    int charHeight() const { return baseY_; }

    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    QPoint toPixels(QPoint units) const;
    QSize toPixels(QSize units) const;
    QRect toPixels(QRect units) const;

    int fromPixelsX(int pixels) const;
    int fromPixelsY(int pixels) const;
    QPoint fromPixels(QPoint pixels) const;
    QSize fromPixels(QSize pixels) const;

private:
    int baseX_;
    int baseY_;
};

// Places child at (x, y) with size w x h, in dialog units of the font of its
// parent widget.
void placeInDialogUnits(QWidget *child, int x, int y, int w, int h);

}  // namespace kvr::runtime

#endif
