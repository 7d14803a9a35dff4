// Dialog units: the measure in which windows and their controls are defined.
//
// A horizontal dialog unit is a quarter of the average character width of the
// window's font, a vertical unit an eighth of its character height, so a
// layout keeps its proportions at any font size.  Conversions round to the
// nearest pixel.  The toolkit measures the font (Toolkit::unitsOf); the
// arithmetic is the same on every toolkit.
#ifndef KVR_RUNTIME_DIALOG_UNITS_H
#define KVR_RUNTIME_DIALOG_UNITS_H

namespace kvr::runtime {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point &, const Point &) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size &, const Size &) = default;
};

// A rectangle: its top-left corner and its size.
struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect &, const Rect &) = default;
};

class DialogUnits {
public:
    // Base units of the font: average character width and character height
    // in pixels (at least 1 each).
    DialogUnits(int averageCharWidth, int charHeight);

    int averageCharWidth() const { return baseX_; }
    int charHeight() const { return baseY_; }

    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    Point toPixels(Point units) const;
    Size toPixels(Size units) const;
    Rect toPixels(Rect units) const;

    int fromPixelsX(int pixels) const;
    int fromPixelsY(int pixels) const;
    Point fromPixels(Point pixels) const;
    Size fromPixels(Size pixels) const;

private:
    int baseX_;
    int baseY_;
};

}  // namespace kvr::runtime

#endif
