#include "runtime/win32/key_code.h"

namespace kvr::runtime::win32 {
namespace {

// Names of the keys that are not letters, digits or function keys, as the
// Qt runtime's menus show them.
const char *namedKey(unsigned vk) {
    switch (vk) {
    case VK_BACK: return "Backspace";
    case VK_TAB: return "Tab";
    case VK_RETURN: return "Return";
    case VK_ESCAPE: return "Esc";
    case VK_SPACE: return "Space";
    case VK_PRIOR: return "PgUp";
    case VK_NEXT: return "PgDown";
    case VK_END: return "End";
    case VK_HOME: return "Home";
    case VK_LEFT: return "Left";
    case VK_UP: return "Up";
    case VK_RIGHT: return "Right";
    case VK_DOWN: return "Down";
    case VK_INSERT: return "Ins";
    case VK_DELETE: return "Del";
    case VK_MULTIPLY: return "Num *";
    case VK_ADD: return "Num +";
    case VK_SUBTRACT: return "Num -";
    case VK_DECIMAL: return "Num .";
    case VK_DIVIDE: return "Num /";
    default: return nullptr;
    }
}

}  // namespace

std::optional<ACCEL> acceleratorFor(std::uint32_t keyCode, WORD command) {
    const unsigned vk = keyCode & 0xFF;
    if (vk == 0 || vk == 0xFF) return std::nullopt;
    BYTE flags = FVIRTKEY;
    if (keyCode & KeyShift) flags |= FSHIFT;
    if (keyCode & KeyCtrl) flags |= FCONTROL;
    if (keyCode & KeyAlt) flags |= FALT;
    return ACCEL{flags, WORD(vk), command};
}

std::string keyCodeName(std::uint32_t keyCode) {
    const unsigned vk = keyCode & 0xFF;
    std::string key;
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) {
        key = std::string(1, char(vk));
    } else if (vk >= VK_F1 && vk <= VK_F24) {
        key.append("F").append(std::to_string(vk - VK_F1 + 1));
    } else if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) {
        key.append("Num ").append(std::to_string(vk - VK_NUMPAD0));
    } else if (const char *name = namedKey(vk)) {
        key = name;
    } else {
        return {};
    }
    std::string name;
    if (keyCode & KeyCtrl) name += "Ctrl+";
    if (keyCode & KeyShift) name += "Shift+";
    if (keyCode & KeyAlt) name += "Alt+";
    name.append(key);
    return name;
}

}  // namespace kvr::runtime::win32
