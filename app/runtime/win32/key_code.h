// The manager's key codes on Win32: bits 0-7 the virtual-key code, 0x100
// Shift, 0x200 Ctrl, 0x400 Alt, 0x800 the extended key (accepted, ignored
// here), the lock bits from 0x1000 up ignored.
#ifndef KVR_RUNTIME_WIN32_KEY_CODE_H
#define KVR_RUNTIME_WIN32_KEY_CODE_H

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace kvr::runtime::win32 {

constexpr std::uint32_t KeyShift = 0x100;
constexpr std::uint32_t KeyCtrl = 0x200;
constexpr std::uint32_t KeyAlt = 0x400;
constexpr std::uint32_t KeyExtended = 0x800;

// The accelerator-table entry of a shortcut that chooses command; nothing
// for 0 and for a code without a virtual key.
std::optional<ACCEL> acceleratorFor(std::uint32_t keyCode, WORD command);

// The name a menu shows beside an item for its shortcut ("F2", "Ctrl+X",
// "Shift+F4", "Ctrl+Del"): modifiers in the order Ctrl, Shift, Alt, then
// the key by its name on the keyboard; empty when the code names no key.
std::string keyCodeName(std::uint32_t keyCode);

}  // namespace kvr::runtime::win32

#endif
