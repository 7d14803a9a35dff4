#include "runtime/win32/dialog_units.h"

namespace kvr::runtime::win32 {

DialogUnits::DialogUnits(int averageCharWidth, int charHeight)
    : baseX_(averageCharWidth > 0 ? averageCharWidth : 1), baseY_(charHeight > 0 ? charHeight : 1) {}

DialogUnits DialogUnits::ofFont(HFONT font) {
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    static const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    GetTextExtentPoint32W(dc, letters, 52, &extent);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return DialogUnits(int((extent.cx / 26 + 1) / 2), int(metrics.tmHeight));
}

int DialogUnits::toPixelsX(int units) const { return MulDiv(units, baseX_, 4); }
int DialogUnits::toPixelsY(int units) const { return MulDiv(units, baseY_, 8); }

RECT DialogUnits::toPixels(const RECT &units) const {
    return {toPixelsX(int(units.left)), toPixelsY(int(units.top)), toPixelsX(int(units.right)),
            toPixelsY(int(units.bottom))};
}

int DialogUnits::fromPixelsX(int pixels) const { return MulDiv(pixels, 4, baseX_); }
int DialogUnits::fromPixelsY(int pixels) const { return MulDiv(pixels, 8, baseY_); }

}  // namespace kvr::runtime::win32
