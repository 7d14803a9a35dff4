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

#include <cstdint>

namespace kvr::runtime {

constexpr uint32_t KeyShift = 0x100;
constexpr uint32_t KeyCtrl = 0x200;
constexpr uint32_t KeyAlt = 0x400;
constexpr uint32_t KeyExtended = 0x800;
constexpr uint32_t KeyCapsLock = 0x1000;
constexpr uint32_t KeyNumLock = 0x2000;
constexpr uint32_t KeyScrollLock = 0x4000;
constexpr uint32_t KeyInsertMode = 0x8000;

}  // namespace kvr::runtime

#endif
