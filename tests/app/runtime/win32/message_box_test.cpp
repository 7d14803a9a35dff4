// Message boxes answered from inside their own loop.
#include "runtime/win32/message_box.h"
#include "runtime/win32/text.h"
#include "runtime/win32/window.h"
#include "script.h"

#include <gtest/gtest.h>

namespace kvr::runtime::win32 {
namespace {

using test::pressKeys;
using test::Script;

// The button of the box that is the default one (BS_DEFPUSHBUTTON), as
// the value of its button; 0 if none.
int defaultButtonOf(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        GetClassNameW(child, className, 16);
        if (_wcsicmp(className, L"Button") == 0 && (GetWindowLongW(child, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON)
            return messageButtonOf(GetDlgCtrlID(child));
    }
    return 0;
}

TEST(MessageBoxes, EnterPressesTheDefaultAskedAndAClickAnyOtherButton) {
    struct Row {
        const char *caption;
        MessageIcon icon;
        int buttons;
        int defaultButton;
        int pressed;  // 0: Enter
        int answer;
    };
    const std::vector<Row> rows{
        {"Guardar cambios", MessageIcon::Question, ButtonYes | ButtonNo | ButtonCancel, ButtonNo, 0, ButtonNo},
        {"Tarjeta retirada", MessageIcon::Exclamation, ButtonOk, ButtonOk, 0, ButtonOk},
        {"Error del lector", MessageIcon::Stop, ButtonAbort | ButtonRetry | ButtonIgnore, ButtonRetry, 0, ButtonRetry},
        {"Borrar comando", MessageIcon::Question, ButtonYes | ButtonNo, ButtonYes, ButtonNo, ButtonNo},
        {"Reintentar envío", MessageIcon::Exclamation, ButtonRetry | ButtonCancel, ButtonCancel, ButtonRetry,
         ButtonRetry},
    };
    WindowDefinition definition;
    definition.name = "BOX$TEST";
    definition.title = "Cajas";
    definition.clientWidth = 120;
    definition.clientHeight = 40;
    Window window(definition);

    std::vector<int> answers(rows.size());
    std::vector<int> defaults(rows.size());
    std::vector<bool> ownerDisabled(rows.size());
    HWND box = nullptr;
    Script script;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row &row = rows[i];
        MessageBoxRequest request{"¿Seguro?", row.caption, row.icon, row.buttons, row.defaultButton};
        script
            .step(std::string("open ") + row.caption,
                  [&, request, i] { answers[i] = runMessageBox(window.handle(), request); })
            .step("find it", {},
                  [&, row] {
                      box = FindWindowW(L"#32770", widen(row.caption).c_str());
                      return box != nullptr && IsWindowVisible(box) && GetForegroundWindow() == box;
                  })
            .step(
                "answer it",
                [&, row, i] {
                    defaults[i] = defaultButtonOf(box);
                    ownerDisabled[i] = !IsWindowEnabled(window.handle());
                    if (row.pressed == 0)
                        pressKeys({VK_RETURN});
                    else
                        SendMessageW(GetDlgItem(box,
                                                [&] {
                                                    for (int id = IDOK; id <= IDHELP; ++id)
                                                        if (messageButtonOf(id) == row.pressed) return id;
                                                    return 0;
                                                }()),
                                     BM_CLICK, 0, 0);
                },
                [&, i] { return answers[i] != 0; });
    }
    window.running = [&](Window &w) { script.play(w.handle()); };
    window.run();

    ASSERT_TRUE(script.passed()) << script.failure();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].caption);
        EXPECT_EQ(defaults[i], rows[i].defaultButton);
        EXPECT_EQ(answers[i], rows[i].answer);
        EXPECT_TRUE(ownerDisabled[i]);
    }
    EXPECT_TRUE(IsWindowEnabled(window.handle()));
}

TEST(MessageBoxes, StyleTakesTheSmallestSetWithTheButtonsAsked) {
    struct Row {
        const char *asked;
        int buttons;
        int defaultButton;
        UINT style;
    };
    const Row rows[] = {
        {"OK", ButtonOk, ButtonOk, MB_OK | MB_DEFBUTTON1},
        {"Yes No, No", ButtonYes | ButtonNo, ButtonNo, MB_YESNO | MB_DEFBUTTON2},
        {"Yes No Cancel, Cancel", ButtonYes | ButtonNo | ButtonCancel, ButtonCancel, MB_YESNOCANCEL | MB_DEFBUTTON3},
        {"Cancel alone", ButtonCancel, ButtonCancel, MB_OKCANCEL | MB_DEFBUTTON2},
        {"Retry alone", ButtonRetry, ButtonRetry, MB_RETRYCANCEL | MB_DEFBUTTON1},
        {"a default not among them", ButtonYes | ButtonNo, ButtonCancel, MB_YESNO | MB_DEFBUTTON1},
        {"no set has Yes and Retry", ButtonYes | ButtonRetry, ButtonYes, MB_OK | MB_DEFBUTTON1},
        {"OK and Help, Help", ButtonOk | ButtonHelp, ButtonHelp, MB_OK | MB_HELP | MB_DEFBUTTON2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.asked);
        const UINT style = messageBoxStyle({"", "", MessageIcon::None, row.buttons, row.defaultButton});
        EXPECT_EQ(style & (MB_TYPEMASK | MB_DEFMASK | MB_HELP), row.style);
        EXPECT_EQ(style & MB_MODEMASK, UINT(MB_APPLMODAL));
    }
    EXPECT_EQ(messageBoxStyle({"", "", MessageIcon::Stop, ButtonOk, ButtonOk}) & MB_ICONMASK, UINT(MB_ICONSTOP));
}

}  // namespace
}  // namespace kvr::runtime::win32
