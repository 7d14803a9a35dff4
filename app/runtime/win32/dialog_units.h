// Dialog units: the measure in which windows and their controls are defined.
//
// The base units of a font are its average character width (that of the
// 52 letters A-Z a-z, rounded) and its character height, as a dialog with
// that font computes them; a horizontal dialog unit is a quarter of the
// width, a vertical one an eighth of the height, and MulDiv rounds a
// conversion to the nearest pixel, as MapDialogRect does.
#ifndef KVR_RUNTIME_WIN32_DIALOG_UNITS_H
#define KVR_RUNTIME_WIN32_DIALOG_UNITS_H

#include <windows.h>

namespace kvr::runtime::win32 {

class DialogUnits {
public:
    DialogUnits(int averageCharWidth, int charHeight);
    // The base units of font as drawn on the screen.
    static DialogUnits ofFont(HFONT font);

    int averageCharWidth() const { return baseX_; }
    int charHeight() const { return baseY_; }

    int toPixelsX(int units) const;
    int toPixelsY(int units) const;
    // A rectangle (left, top, right, bottom) in dialog units, in pixels.
    RECT toPixels(const RECT &units) const;
    int fromPixelsX(int pixels) const;
    int fromPixelsY(int pixels) const;

private:
    int baseX_;
    int baseY_;
};

}  // namespace kvr::runtime::win32

#endif
