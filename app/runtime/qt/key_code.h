// Key codes: the 32-bit values by which menu shortcuts and stored hot keys
// name a key press.
//
//   bits 0-7   virtual-key code (0x41 'A', 0x70 F1, 0x25 Left, 0x60 keypad 0 ...)
//   0x100      Shift
//   0x200      Ctrl
//   0x400      Alt
//   0x800      extended key (marks Enter on the keypad; otherwise accepted
//              and ignored)
//   0x1000...  lock states (Caps, Num, Scroll Lock, Insert mode): ignored
//
// Letters, digits, F1-F24, the navigation keys (arrows, Home, End, Page Up,
// Page Down, Insert, Delete), the editing keys (Backspace, Tab, Enter, Escape,
// Space), the numeric keypad and the punctuation keys of the US layout are
// mapped both ways.  Navigation keys are written without the extended bit,
// keypad digits and operators as their keypad codes (0x60-0x6F).
#ifndef KVR_RUNTIME_KEY_CODE_H
#define KVR_RUNTIME_KEY_CODE_H

#include <QKeyCombination>
#include <QKeySequence>

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace kvr::runtime {

constexpr uint32_t KeyShift = 0x100;
constexpr uint32_t KeyCtrl = 0x200;
constexpr uint32_t KeyAlt = 0x400;
constexpr uint32_t KeyExtended = 0x800;
constexpr uint32_t KeyCapsLock = 0x1000;
constexpr uint32_t KeyNumLock = 0x2000;
constexpr uint32_t KeyScrollLock = 0x4000;
constexpr uint32_t KeyInsertMode = 0x8000;

// The Qt key press for a key code; nothing for 0 and for codes that name no
// key.
std::optional<QKeyCombination> keyCodeToQt(uint32_t keyCode);

// The shortcut for a key code; an empty sequence when it names no key.
QKeySequence keyCodeToSequence(uint32_t keyCode);

// The key code of a Qt key press; nothing for keys without a code (a modifier
// key pressed alone, unknown keys).  Shifted digits and punctuation of the US
// layout ("!" with Shift) give the code of their unshifted key.
std::optional<uint32_t> keyCodeFromQt(QKeyCombination combination);
std::optional<uint32_t> keyCodeFromEvent(const QKeyEvent &event);

// The lock states as they stood when the key was pressed.  Under X11 the
// key's state names Caps Lock (Lock) and Num Lock (Mod2); Scroll Lock has no
// state bit there and other platforms report none.  Entry fields always
// insert (there is no overwrite mode), so Insert mode is always on.
uint32_t keyLockStates(const QKeyEvent &event);

// The name of the key a code names, as menus show its shortcut ("F2",
// "Ctrl+X", "Shift+F4"); empty when it names no key.
QString keyCodeName(uint32_t keyCode);

}  // namespace kvr::runtime

#endif
