#include "runtime/win32/message_box.h"

#include "runtime/win32/text.h"

#include <array>

namespace kvr::runtime::win32 {
namespace {

struct ButtonSet {
    UINT style;
    std::array<int, 3> buttons;  // left to right; 0 where the set has fewer
};

// Smallest first, so that the first set that holds the asked buttons is
// the one with the fewest extra buttons.
constexpr std::array<ButtonSet, 6> kSets{{
    {MB_OK, {ButtonOk, 0, 0}},
    {MB_OKCANCEL, {ButtonOk, ButtonCancel, 0}},
    {MB_YESNO, {ButtonYes, ButtonNo, 0}},
    {MB_RETRYCANCEL, {ButtonRetry, ButtonCancel, 0}},
    {MB_YESNOCANCEL, {ButtonYes, ButtonNo, ButtonCancel}},
    {MB_ABORTRETRYIGNORE, {ButtonAbort, ButtonRetry, ButtonIgnore}},
}};

int valueOf(const ButtonSet &set) { return set.buttons[0] | set.buttons[1] | set.buttons[2]; }

}  // namespace

UINT messageBoxStyle(const MessageBoxRequest &request) {
    const int asked = request.buttons & ~ButtonHelp;
    const ButtonSet *chosen = &kSets[0];
    for (const ButtonSet &set : kSets) {
        if ((valueOf(set) & asked) == asked) {
            chosen = &set;
            break;
        }
    }
    UINT style = chosen->style | MB_APPLMODAL;
    if (request.buttons & ButtonHelp) style |= MB_HELP;
    static constexpr std::array<UINT, 4> kDefaults{MB_DEFBUTTON1, MB_DEFBUTTON2, MB_DEFBUTTON3, MB_DEFBUTTON4};
    for (std::size_t place = 0; place < chosen->buttons.size(); ++place)
        if (chosen->buttons[place] != 0 && chosen->buttons[place] == request.defaultButton) style |= kDefaults[place];
    if (request.defaultButton == ButtonHelp && (request.buttons & ButtonHelp)) {
        std::size_t count = 0;
        for (int button : chosen->buttons) count += button != 0;
        style |= kDefaults[count];
    }
    switch (request.icon) {
    case MessageIcon::Question: style |= MB_ICONQUESTION; break;
    case MessageIcon::Exclamation: style |= MB_ICONEXCLAMATION; break;
    case MessageIcon::Stop: style |= MB_ICONSTOP; break;
    case MessageIcon::Information: style |= MB_ICONINFORMATION; break;
    case MessageIcon::None: break;
    }
    return style;
}

int messageButtonOf(int result) {
    switch (result) {
    case IDOK: return ButtonOk;
    case IDYES: return ButtonYes;
    case IDNO: return ButtonNo;
    case IDABORT: return ButtonAbort;
    case IDRETRY: return ButtonRetry;
    case IDIGNORE: return ButtonIgnore;
    case IDCANCEL: return ButtonCancel;
    case IDHELP: return ButtonHelp;
    default: return 0;
    }
}

int runMessageBox(HWND owner, const MessageBoxRequest &request) {
    return messageButtonOf(
        MessageBoxW(owner, widen(request.text).c_str(), widen(request.caption).c_str(), messageBoxStyle(request)));
}

}  // namespace kvr::runtime::win32
