// A window's font (RAII over an HFONT): a face and a size in points at the
// screen's resolution, asked for as a dialog asks for its font (proof
// quality: a bitmap face keeps its own size rather than being scaled), so
// that dialog units of the font are those of a dialog with that font.  A
// face the system does not have gives the one it puts in its place, but
// "Fixedsys" always gives a fixed-pitch face (a dialog asking for it where
// it is missing may get a proportional one).
#ifndef KVR_RUNTIME_WIN32_FONT_H
#define KVR_RUNTIME_WIN32_FONT_H

#include <windows.h>

#include <string>

namespace kvr::runtime::win32 {

class Font {
public:
    Font(const std::string &face, int points);
    ~Font();
    Font(const Font &) = delete;
    Font &operator=(const Font &) = delete;

    HFONT handle() const { return font_; }

private:
    HFONT font_;
};

}  // namespace kvr::runtime::win32

#endif
