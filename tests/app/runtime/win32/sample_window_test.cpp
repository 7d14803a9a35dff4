// A window like the manager's, drawn under the system and its picture kept
// for a person to look at (KVR_SCREENSHOT names the .bmp file; no picture
// without it).
#include "runtime/win32/window.h"
#include "script.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace kvr::runtime::win32 {
namespace {

using test::Script;

// The screen as a 24-bit BMP file.
bool saveScreen(const char *path) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void *bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD stride = DWORD((width * 3 + 3) & ~3);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * DWORD(height);
    bool written = false;
    if (FILE *out = std::fopen(path, "wb")) {
        written = std::fwrite(&file, sizeof file, 1, out) == 1 &&
                  std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
                  std::fwrite(bits, stride, std::size_t(height), out) == std::size_t(height);
        written = std::fclose(out) == 0 && written;
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written;
}

TEST(SampleWindow, IsDrawnWithItsMenusControlsAndStatusBar) {
    WindowDefinition definition;
    definition.name = "INFOLECTOR$WINDOW";
    definition.title = "Información del lector";
    definition.clientWidth = 240;
    definition.clientHeight = 150;
    definition.menuBar = true;
    definition.statusBar = true;
    definition.statusZones = 3;
    definition.statusZoneWidth = 50;
    Window window(definition);
    Menus &menus = *window.menus();
    menus.addMenu(1, "&Lector");
    menus.addItem(1, 10, "&Abrir", 0x24F, "Abre el lector");
    menus.addMenu(2, "&Tarjeta");
    menus.addMenu(3, "&SAM");
    menus.addMenu(4, "&Comandos");
    menus.setEnabled(3, false);
    window.addGroupBox("Lector", 5, 4, 230, 50);
    window.addLabel("&Puerto:", 12, 18, 40, 9);
    window.addEntryField(12, 55, 16, 70, 12, true).setText("COM1");
    window.addLabel("Versión:", 12, 34, 40, 9);
    EntryField &version = window.addEntryField(20, 55, 32, 70, 12);
    version.setText("KVR72 V2.10");
    version.setReadOnly(true);
    PageList &list = window.addPageList(5, 60, 230, 66, {50, 120});
    std::vector<std::string> rows;
    for (int row = 1; row <= list.visibleRowCount(); ++row)
        rows.push_back("fila " + std::to_string(row) + "\t00 A4 04 00\t90 00");
    list.setRows(rows);
    list.setCurrentRow(2);
    list.setPage(int(rows.size()), 0, 40);
    window.addButton("&Aceptar", 130, 132, 50, 14, true);
    window.addButton("Cancelar", 185, 132, 50, 14);
    window.setStatusText("Listo");
    window.setStatusText("COM1", 1);
    window.setStatusText("9600", 2);

    const char *path = std::getenv("KVR_SCREENSHOT");
    bool saved = false;
    Script script;
    script
        .step(
            "drawn", [&] { RedrawWindow(window.handle(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN); },
            [&] { return IsWindowVisible(window.handle()) && GetForegroundWindow() == window.handle(); })
        .step("picture", [&] { saved = path == nullptr || saveScreen(path); });
    window.running = [&](Window &w) { script.play(w.handle()); };
    window.run();

    ASSERT_TRUE(script.passed()) << script.failure();
    EXPECT_TRUE(saved);
    EXPECT_EQ(window.statusText(2), "9600");
    EXPECT_EQ(window.statusBar()->shownText(1), "COM1");
}

}  // namespace
}  // namespace kvr::runtime::win32
