// A window's own loop nested in another's, its hooks, the wait cursor and
// the file dialogs.
#include "runtime/win32/file_dialog.h"
#include "runtime/win32/text.h"
#include "runtime/win32/wait_cursor.h"
#include "runtime/win32/window.h"
#include "script.h"

#include <gtest/gtest.h>

namespace kvr::runtime::win32 {
namespace {

using test::Script;

WindowDefinition definition(const char *name) {
    WindowDefinition d;
    d.name = name;
    d.title = name;
    d.clientWidth = 120;
    d.clientHeight = 50;
    return d;
}

// A window that logs its life and refuses the first request to close.
class LoggedWindow : public Window {
public:
    LoggedWindow(const char *name, std::vector<std::string> &log) : Window(definition(name)), log_(log) {}

protected:
    void opened() override { log_.push_back(name() + " opened"); }
    bool closeRequested() override {
        log_.push_back(name() + " asked to close");
        return ++requests_ > 1;
    }
    void closing() override { log_.push_back(name() + " closing"); }

private:
    std::vector<std::string> &log_;
    int requests_ = 0;
};

TEST(Window, RunNestsItsLoopAndDisablesTheWindowBelowUntilItCloses) {
    std::vector<std::string> log;
    LoggedWindow below("BELOW$TEST", log);
    LoggedWindow above("ABOVE$TEST", log);
    bool belowDisabled = false;
    bool aboveRunning = false;
    Script inner;
    inner
        .step(
            "first close refused", [&] { above.close(); }, [&] { return log.size() >= 4; })
        .step("while open", [&] {
            belowDisabled = !IsWindowEnabled(below.handle());
            aboveRunning = above.isRunning();
        });
    above.running = [&](Window &w) {
        log.push_back("ABOVE$TEST running");
        inner.play(w.handle());
    };
    Script outer;
    outer
        .step(
            "run the one above",
            [&] {
                above.run();
                log.push_back("ABOVE$TEST returned");
            },
            [&] { return log.size() >= 7; })  // the ticks inside the loop above wait here
        .step(
            "first close refused", [&] { below.close(); }, [&] { return log.size() >= 8; });
    below.running = [&](Window &w) { outer.play(w.handle()); };
    below.run();

    ASSERT_TRUE(inner.passed()) << inner.failure();
    ASSERT_TRUE(outer.passed()) << outer.failure();
    EXPECT_TRUE(belowDisabled);
    EXPECT_TRUE(aboveRunning);
    EXPECT_FALSE(above.isRunning());
    EXPECT_TRUE(IsWindowEnabled(below.handle()));
    EXPECT_EQ(log, (std::vector<std::string>{"BELOW$TEST opened", "ABOVE$TEST opened", "ABOVE$TEST running",
                                             "ABOVE$TEST asked to close", "ABOVE$TEST asked to close",
                                             "ABOVE$TEST closing", "ABOVE$TEST returned", "BELOW$TEST asked to close",
                                             "BELOW$TEST asked to close", "BELOW$TEST closing"}));
}

TEST(Window, EnterPressesTheDefaultButtonAndWithoutOneNoMenuItem) {
    for (const bool withDefault : {true, false}) {
        SCOPED_TRACE(withDefault ? "a default button" : "no default button");
        WindowDefinition d = definition("ENTER$TEST");
        d.menuBar = true;
        Window window(d);
        std::vector<int> chosen;
        // Item 1 is IDOK, the command a dialog sends for Enter.
        window.menus()->addMenu(100, "&Lector");
        window.menus()->addItem(100, IDOK, "&Abrir");
        window.menus()->addItem(100, 2, "&Cerrar", VK_F4);
        window.menus()->triggered = [&](int id) { chosen.push_back(id); };
        EntryField &field = window.addEntryField(10, 5, 5, 60, 12);
        int clicks = 0;
        Button &button = window.addButton("&Aceptar", 5, 25, 50, 14, withDefault);
        button.clicked = [&] { ++clicks; };
        Script script;
        script
            .step(
                "focus", [&] { field.setFocus(); }, [&] { return GetFocus() == field.handle(); })
            // F4 after Enter: once it has chosen its item, Enter has been
            // handled.
            .step(
                "Enter, then F4",
                [] {
                    test::pressKeys({VK_RETURN, VK_F4});
                },
                [&] { return !chosen.empty(); });
        window.running = [&](Window &w) { script.play(w.handle()); };
        window.run();

        ASSERT_TRUE(script.passed()) << script.failure();
        EXPECT_EQ(clicks, withDefault ? 1 : 0);
        EXPECT_EQ(chosen, std::vector<int>{2});
    }
}

TEST(WaitCursor, NestedGuardsPutBackTheCursorTheyFound) {
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(arrow);
    EXPECT_FALSE(WaitCursor::active());
    {
        WaitCursor outer;
        EXPECT_TRUE(WaitCursor::active());
        {
            WaitCursor inner;
            EXPECT_TRUE(WaitCursor::active());
        }
        EXPECT_TRUE(WaitCursor::active());
    }
    EXPECT_FALSE(WaitCursor::active());
    EXPECT_EQ(GetCursor(), arrow);
}

TEST(FileDialog, FilterPairsBecomeNulSeparated) {
    EXPECT_EQ(dialogFilter("Comandos|*.tps"), std::wstring(L"Comandos\0*.tps\0\0", 16));
    EXPECT_EQ(dialogFilter("Comandos|*.tps|Todos|*.*"), std::wstring(L"Comandos\0*.tps\0Todos\0*.*\0\0", 26));
}

TEST(FileDialog, TheOpenDialogReturnsTheFileChosenAndNothingWhenCancelled) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring file = std::wstring(folder) + L"COMMANDS.tps";
    CloseHandle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));

    Window window(definition("FILES$TEST"));
    const FileDialogRequest request{"Abrir comandos", "Comandos|*.tps", ""};
    std::string chosen = "(not yet)";
    std::string cancelled = "(not yet)";
    std::string filterShown;
    HWND dialog = nullptr;
    auto found = [&] {
        dialog = FindWindowW(L"#32770", L"Abrir comandos");
        return dialog != nullptr && IsWindowVisible(dialog);
    };
    Script script;
    script.step("open", [&] { chosen = runOpenFileDialog(window.handle(), request); })
        .step("find it", {}, found)
        .step(
            "choose the file",
            [&] {
                wchar_t type[64] = {};
                GetDlgItemTextW(dialog, 0x470, type, 64);  // the file type box
                filterShown = narrow(type);
                SetDlgItemTextW(dialog, 0x47C, file.c_str());  // the file name box
                SetDlgItemTextW(dialog, 0x480, file.c_str());
                SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            },
            [&] { return chosen != "(not yet)"; })
        .step("open again", [&] { cancelled = runOpenFileDialog(window.handle(), request); })
        .step("find it again", {}, found)
        .step(
            "cancel", [&] { SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0); },
            [&] { return cancelled != "(not yet)"; });
    window.running = [&](Window &w) { script.play(w.handle()); };
    window.run();
    DeleteFileW(file.c_str());

    ASSERT_TRUE(script.passed()) << script.failure();
    EXPECT_EQ(_wcsicmp(widen(chosen).c_str(), file.c_str()), 0) << chosen;
    EXPECT_EQ(cancelled, "");
    EXPECT_NE(filterShown.find("Comandos"), std::string::npos) << filterShown;
}

}  // namespace
}  // namespace kvr::runtime::win32
