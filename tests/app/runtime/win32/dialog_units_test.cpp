// Controls land where a dialog with the same font would put them.
#include "runtime/win32/text.h"
#include "runtime/win32/window.h"

#include <gtest/gtest.h>

namespace kvr::runtime::win32 {
namespace {

// A dialog with no controls and the font face at points (DS_SETFONT),
// created from a template in memory.
class FontDialog {
public:
    FontDialog(const std::string &face, int points) {
        std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD));
        auto *header = reinterpret_cast<DLGTEMPLATE *>(words.data());
        header->style = WS_POPUP | WS_CAPTION | DS_SETFONT;
        header->cx = 100;
        header->cy = 50;
        words.push_back(0);  // no menu
        words.push_back(0);  // the standard dialog class
        words.push_back(0);  // no title
        words.push_back(WORD(points));
        for (wchar_t c : widen(face)) words.push_back(WORD(c));
        words.push_back(0);
        dialog_ = CreateDialogIndirectParamW(
            GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE *>(words.data()), nullptr,
            [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    }
    ~FontDialog() { DestroyWindow(dialog_); }
    FontDialog(const FontDialog &) = delete;
    FontDialog &operator=(const FontDialog &) = delete;

    RECT map(RECT units) const {
        MapDialogRect(dialog_, &units);
        return units;
    }
    bool valid() const { return dialog_ != nullptr; }

private:
    HWND dialog_ = nullptr;
};

std::string faceOf(HFONT font) {
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return narrow(face);
}

RECT placeInParent(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

std::string show(const RECT &r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

TEST(DialogUnits, ControlsAndTheClientAreaLandWhereMapDialogRectSays) {
    struct Row {
        const char *face;
        int points;
    };
    const Row rows[] = {
        {"MS Sans Serif", 8}, {"MS Sans Serif", 10}, {"Tahoma", 8}, {"Fixedsys", 9}, {"Courier New", 12}};
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.face) + " " + std::to_string(row.points));
        WindowDefinition definition;
        definition.name = "UNITS$TEST";
        definition.title = "Unidades";
        definition.fontFace = row.face;
        definition.fontPoints = row.points;
        definition.clientWidth = 187;
        definition.clientHeight = 93;
        definition.menuBar = true;
        definition.statusBar = true;
        Window window(definition);
        // Fixedsys is a fixed-pitch face whatever the system puts in its
        // place: the dialog gets the face the window got.
        const bool fixedsys = std::string(row.face) == "Fixedsys";
        FontDialog dialog(fixedsys ? faceOf(window.font()) : row.face, row.points);
        ASSERT_TRUE(dialog.valid());
        window.menus()->addMenu(1, "&Archivo");
        window.fitClientSize();

        const EntryField &field = window.addEntryField(10, 7, 13, 61, 11);
        const Button &button = window.addButton("&Aceptar", 131, 75, 50, 14, true);
        const PageList &list = window.addPageList(3, 30, 97, 41);
        EXPECT_EQ(show(placeInParent(field.handle())), show(dialog.map({7, 13, 68, 24})));
        EXPECT_EQ(show(placeInParent(button.handle())), show(dialog.map({131, 75, 181, 89})));
        EXPECT_EQ(show(placeInParent(list.handle())), show(dialog.map({3, 30, 100, 71})));
        EXPECT_EQ(show(window.controlArea()), show(dialog.map({0, 0, 187, 93})));
        if (fixedsys) {
            const HDC dc = GetDC(nullptr);
            const HGDIOBJ old = SelectObject(dc, window.font());
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            SelectObject(dc, old);
            ReleaseDC(nullptr, dc);
            // The bit set means a variable pitch.
            EXPECT_EQ(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
        }
        // And back.
        const DialogUnits &units = window.units();
        EXPECT_EQ(units.fromPixelsX(units.toPixelsX(187)), 187);
        EXPECT_EQ(units.fromPixelsY(units.toPixelsY(93)), 93);
    }
}

}  // namespace
}  // namespace kvr::runtime::win32
