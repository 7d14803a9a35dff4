#include "runtime/win32/font.h"

#include "runtime/win32/text.h"

namespace kvr::runtime::win32 {

Font::Font(const std::string &face, int points) {
    const HDC screen = GetDC(nullptr);
    const int height = -MulDiv(points > 0 ? points : 8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    const bool fixed = face == "Fixedsys";
    font_ = CreateFontW(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                        DWORD(fixed ? FIXED_PITCH | FF_MODERN : DEFAULT_PITCH | FF_DONTCARE), widen(face).c_str());
    if (!font_) font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

Font::~Font() {
    if (font_ != static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))) DeleteObject(font_);
}

}  // namespace kvr::runtime::win32
