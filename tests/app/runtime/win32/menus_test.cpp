// Menus chosen through their shortcuts and access letters, changed at run
// time.
#include "runtime/win32/key_code.h"
#include "runtime/win32/window.h"
#include "script.h"

#include <gtest/gtest.h>

namespace kvr::runtime::win32 {
namespace {

using test::pressChord;
using test::pressKeys;
using test::Script;

enum : int { ReaderMenu = 1, CardMenu = 2, Open = 10, Close = 11, Reset = 20, Power = 21 };

struct MenuWindow {
    MenuWindow() : window(definition()) {
        Menus &menus = *window.menus();
        menus.addMenu(ReaderMenu, "&Lector", Menus::Bar, "LECTOR");
        menus.addItem(ReaderMenu, Open, "&Abrir", KeyCtrl | 'O', "Abre el lector");
        menus.addItem(ReaderMenu, Close, "&Cerrar", VK_F4, "Cierra el lector");
        menus.addMenu(CardMenu, "&Tarjeta");
        menus.addItem(CardMenu, Reset, "&Reiniciar", KeyShift | VK_F5, "Reinicia la tarjeta");
        menus.addItem(CardMenu, Power, "A&pagar", KeyCtrl | KeyAlt | 'P');
        menus.triggered = [this](int id) { chosen.push_back(id); };
        window.setStatusText("Listo");
    }
    static WindowDefinition definition() {
        WindowDefinition definition;
        definition.name = "MENU$TEST";
        definition.title = "Menús";
        definition.clientWidth = 200;
        definition.clientHeight = 80;
        definition.menuBar = true;
        definition.statusBar = true;
        definition.statusZones = 2;
        return definition;
    }
    Window window;
    std::vector<int> chosen;
};

TEST(Menus, AShortcutChoosesItsItemOnlyWhileTheItemCanBeChosen) {
    MenuWindow w;
    Menus &menus = *w.window.menus();
    auto chose = [&](std::size_t count) { return [&w, count] { return w.chosen.size() >= count; }; };
    Script script;
    script
        .step(
            "Ctrl+O", [] { pressChord({VK_CONTROL}, 'O'); }, chose(1))
        .step(
            "Shift+F5", [] { pressChord({VK_SHIFT}, VK_F5); }, chose(2))
        .step(
            "Ctrl+Alt+P",
            [] {
                pressChord({VK_CONTROL, VK_MENU}, 'P');
            },
            chose(3))
        // Taken out: F4 and Shift+F5 choose nothing; the Ctrl+O after them
        // shows when they have been handled.
        .step(
            "F4 disabled, card menu hidden",
            [&] {
                menus.setEnabled(Close, false);
                menus.setVisible(CardMenu, false);
                pressKeys({VK_F4});
                pressChord({VK_SHIFT}, VK_F5);
                pressChord({VK_CONTROL}, 'O');
            },
            chose(4))
        .step(
            "put back",
            [&] {
                menus.setEnabled(Close, true);
                menus.setVisible(CardMenu, true);
                pressKeys({VK_F4});
            },
            chose(5))
        .step(
            "removed",
            [&] {
                menus.remove(Close);
                pressKeys({VK_F4});
                pressChord({VK_SHIFT}, VK_F5);
            },
            chose(6));
    w.window.running = [&](Window &window) { script.play(window.handle()); };
    w.window.run();

    ASSERT_TRUE(script.passed()) << script.failure();
    EXPECT_EQ(w.chosen, (std::vector<int>{Open, Reset, Power, Open, Close, Reset}));
    EXPECT_FALSE(menus.contains(Close));
    EXPECT_EQ(menus.idOf("LECTOR"), ReaderMenu);
}

TEST(Menus, HiddenMenusComeBackAtTheirPlace) {
    MenuWindow w;
    Menus &menus = *w.window.menus();
    menus.addMenu(3, "&Ayuda");
    const HMENU bar = GetMenu(w.window.handle());
    auto shown = [&] {
        std::vector<std::string> texts;
        for (int place = 0; place < GetMenuItemCount(bar); ++place) {
            wchar_t text[64] = {};
            GetMenuStringW(bar, UINT(place), text, 64, MF_BYPOSITION);
            texts.push_back(std::string(text, text + wcslen(text)));
        }
        return texts;
    };
    struct Row {
        const char *change;
        std::function<void()> apply;
        std::vector<std::string> bar;
    };
    const std::vector<Row> rows{
        {"hide the middle one", [&] { menus.setVisible(CardMenu, false); }, {"&Lector", "&Ayuda"}},
        {"hide the first one", [&] { menus.setVisible(ReaderMenu, false); }, {"&Ayuda"}},
        {"show the middle one", [&] { menus.setVisible(CardMenu, true); }, {"&Tarjeta", "&Ayuda"}},
        {"show the first one", [&] { menus.setVisible(ReaderMenu, true); }, {"&Lector", "&Tarjeta", "&Ayuda"}},
        {"remove the middle one", [&] { menus.remove(CardMenu); }, {"&Lector", "&Ayuda"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.change);
        row.apply();
        EXPECT_EQ(shown(), row.bar);
    }
    // The shortcut beside the text.
    wchar_t text[64] = {};
    GetMenuStringW(menus.menuHandle(ReaderMenu), 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Abrir\tCtrl+O");
}

TEST(Menus, TheHintOfTheHighlightedItemCoversTheStatusBarWhileTheMenuIsOpen) {
    MenuWindow w;
    StatusBar &bar = *w.window.statusBar();
    Script script;
    Menus &menus = *w.window.menus();
    // The item of the reader menu highlighted now, 0 if none.
    auto highlighted = [&] {
        const HMENU menu = menus.menuHandle(ReaderMenu);
        for (int place = 0; place < GetMenuItemCount(menu); ++place)
            if (GetMenuState(menu, UINT(place), MF_BYPOSITION) & MF_HILITE) return int(GetMenuItemID(menu, place));
        return 0;
    };
    std::string seen;
    auto showsHintOf = [&](int item) {
        seen = bar.shownText() + (bar.hintShown() ? " (hint)" : "") + ", item " + std::to_string(highlighted());
        return bar.hintShown() && bar.shownText() == menus.hint(item);
    };
    // Alt+L opens the reader menu (with its first item highlighted, or
    // none); Down highlights the next one.
    int first = -1;
    script
        .step(
            "Alt+L", [] { pressChord({VK_MENU}, 'L'); },
            [&] {
                first = highlighted();
                return showsHintOf(first);
            })
        .step(
            "Down", [] { pressKeys({VK_DOWN}); }, [&] { return showsHintOf(first == Open ? Close : Open); })
        .step(
            "Escape twice",
            [] {
                pressKeys({VK_ESCAPE, VK_ESCAPE});
            },
            [&] { return !bar.hintShown() && bar.shownText(0) == "Listo"; });
    w.window.running = [&](Window &window) { script.play(window.handle()); };
    w.window.run();

    ASSERT_TRUE(script.passed()) << script.failure() << ", the bar showing " << seen;
    EXPECT_TRUE(w.chosen.empty());
}

TEST(KeyCode, AcceleratorsAndNames) {
    struct Row {
        std::uint32_t code;
        BYTE flags;
        WORD key;
        const char *name;
    };
    const Row rows[] = {
        {VK_F2, FVIRTKEY, VK_F2, "F2"},
        {KeyCtrl | 'X', FVIRTKEY | FCONTROL, 'X', "Ctrl+X"},
        {KeyShift | VK_F4, FVIRTKEY | FSHIFT, VK_F4, "Shift+F4"},
        {KeyCtrl | KeyAlt | KeyShift | VK_DELETE, FVIRTKEY | FCONTROL | FALT | FSHIFT, VK_DELETE, "Ctrl+Shift+Alt+Del"},
        {KeyExtended | VK_RETURN, FVIRTKEY, VK_RETURN, "Return"},
        {0x1000 | VK_NUMPAD5, FVIRTKEY, VK_NUMPAD5, "Num 5"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        const auto accel = acceleratorFor(row.code, 7);
        ASSERT_TRUE(accel.has_value());
        EXPECT_EQ(accel->fVirt, row.flags);
        EXPECT_EQ(accel->key, row.key);
        EXPECT_EQ(accel->cmd, 7);
        EXPECT_EQ(keyCodeName(row.code), row.name);
    }
    EXPECT_FALSE(acceleratorFor(0, 7).has_value());
    EXPECT_FALSE(acceleratorFor(KeyCtrl, 7).has_value());
    EXPECT_EQ(keyCodeName(0), "");
}

}  // namespace
}  // namespace kvr::runtime::win32
