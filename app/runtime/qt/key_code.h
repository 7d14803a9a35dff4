// Key codes (runtime/key_code.h) to and from Qt's key presses, and the names
// menus show for them.
#ifndef KVR_RUNTIME_QT_KEY_CODE_H
#define KVR_RUNTIME_QT_KEY_CODE_H

#include "runtime/key_code.h"

#include <QKeyCombination>
#include <QKeySequence>

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace kvr::runtime::qt {

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

}  // namespace kvr::runtime::qt

#endif
