#include "runtime/qt/key_code.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <array>
#include <utility>

namespace kvr::runtime::qt {

namespace {

struct KeyPair {
    uint8_t virtualKey;
    Qt::Key key;
    bool keypad;
};

// Keys other than letters, digits and function keys.
constexpr KeyPair kKeys[] = {
    {0x08, Qt::Key_Backspace, false},
    {0x09, Qt::Key_Tab, false},
    {0x0C, Qt::Key_Clear, false},
    {0x0D, Qt::Key_Return, false},
    {0x13, Qt::Key_Pause, false},
    {0x14, Qt::Key_CapsLock, false},
    {0x1B, Qt::Key_Escape, false},
    {0x20, Qt::Key_Space, false},
    {0x21, Qt::Key_PageUp, false},
    {0x22, Qt::Key_PageDown, false},
    {0x23, Qt::Key_End, false},
    {0x24, Qt::Key_Home, false},
    {0x25, Qt::Key_Left, false},
    {0x26, Qt::Key_Up, false},
    {0x27, Qt::Key_Right, false},
    {0x28, Qt::Key_Down, false},
    {0x2C, Qt::Key_Print, false},
    {0x2D, Qt::Key_Insert, false},
    {0x2E, Qt::Key_Delete, false},
    {0x5D, Qt::Key_Menu, false},
    {0x6A, Qt::Key_Asterisk, true},
    {0x6B, Qt::Key_Plus, true},
    {0x6C, Qt::Key_Comma, true},
    {0x6D, Qt::Key_Minus, true},
    {0x6E, Qt::Key_Period, true},
    {0x6F, Qt::Key_Slash, true},
    {0x90, Qt::Key_NumLock, false},
    {0x91, Qt::Key_ScrollLock, false},
    // Punctuation keys of the US layout.
    {0xBA, Qt::Key_Semicolon, false},
    {0xBB, Qt::Key_Equal, false},
    {0xBC, Qt::Key_Comma, false},
    {0xBD, Qt::Key_Minus, false},
    {0xBE, Qt::Key_Period, false},
    {0xBF, Qt::Key_Slash, false},
    {0xC0, Qt::Key_QuoteLeft, false},
    {0xDB, Qt::Key_BracketLeft, false},
    {0xDC, Qt::Key_Backslash, false},
    {0xDD, Qt::Key_BracketRight, false},
    {0xDE, Qt::Key_Apostrophe, false},
};

// What Shift makes of the keys of the US layout, so that a captured
// Shift+1 (reported as "!") names the key 1.
constexpr std::pair<Qt::Key, Qt::Key> kShifted[] = {
    {Qt::Key_Exclam, Qt::Key_1},
    {Qt::Key_At, Qt::Key_2},
    {Qt::Key_NumberSign, Qt::Key_3},
    {Qt::Key_Dollar, Qt::Key_4},
    {Qt::Key_Percent, Qt::Key_5},
    {Qt::Key_AsciiCircum, Qt::Key_6},
    {Qt::Key_Ampersand, Qt::Key_7},
    {Qt::Key_Asterisk, Qt::Key_8},
    {Qt::Key_ParenLeft, Qt::Key_9},
    {Qt::Key_ParenRight, Qt::Key_0},
    {Qt::Key_Colon, Qt::Key_Semicolon},
    {Qt::Key_Plus, Qt::Key_Equal},
    {Qt::Key_Less, Qt::Key_Comma},
    {Qt::Key_Underscore, Qt::Key_Minus},
    {Qt::Key_Greater, Qt::Key_Period},
    {Qt::Key_Question, Qt::Key_Slash},
    {Qt::Key_AsciiTilde, Qt::Key_QuoteLeft},
    {Qt::Key_BraceLeft, Qt::Key_BracketLeft},
    {Qt::Key_Bar, Qt::Key_Backslash},
    {Qt::Key_BraceRight, Qt::Key_BracketRight},
    {Qt::Key_QuoteDbl, Qt::Key_Apostrophe},
};

// Keys that a keypad with Num Lock off reports as navigation keys.
constexpr std::pair<Qt::Key, uint8_t> kKeypadNavigation[] = {
    {Qt::Key_Insert, 0x60}, {Qt::Key_End, 0x61},    {Qt::Key_Down, 0x62},   {Qt::Key_PageDown, 0x63},
    {Qt::Key_Left, 0x64},   {Qt::Key_Clear, 0x65},  {Qt::Key_Right, 0x66},  {Qt::Key_Home, 0x67},
    {Qt::Key_Up, 0x68},     {Qt::Key_PageUp, 0x69}, {Qt::Key_Delete, 0x6E},
};

Qt::KeyboardModifiers modifiersOf(uint32_t keyCode) {
    Qt::KeyboardModifiers modifiers;
    if (keyCode & KeyShift) modifiers |= Qt::ShiftModifier;
    if (keyCode & KeyCtrl) modifiers |= Qt::ControlModifier;
    if (keyCode & KeyAlt) modifiers |= Qt::AltModifier;
    return modifiers;
}

uint32_t bitsOf(Qt::KeyboardModifiers modifiers) {
    uint32_t bits = 0;
    if (modifiers & Qt::ShiftModifier) bits |= KeyShift;
    if (modifiers & Qt::ControlModifier) bits |= KeyCtrl;
    if (modifiers & Qt::AltModifier) bits |= KeyAlt;
    return bits;
}

std::optional<uint8_t> virtualKeyOf(Qt::Key key, bool keypad) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return uint8_t(0x41 + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return uint8_t((keypad ? 0x60 : 0x30) + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return uint8_t(0x70 + (key - Qt::Key_F1));
    if (keypad) {
        for (const auto &[navigation, code] : kKeypadNavigation)
            if (navigation == key) return code;
        for (const KeyPair &pair : kKeys)
            if (pair.keypad && pair.key == key) return pair.virtualKey;
        if (key == Qt::Key_Enter || key == Qt::Key_Return) return uint8_t(0x0D);
    }
    if (key == Qt::Key_Enter) return uint8_t(0x0D);
    for (const KeyPair &pair : kKeys)
        if (!pair.keypad && pair.key == key) return pair.virtualKey;
    return std::nullopt;
}

}  // namespace

std::optional<QKeyCombination> keyCodeToQt(uint32_t keyCode) {
    const uint8_t vk = keyCode & 0xFF;
    const Qt::KeyboardModifiers modifiers = modifiersOf(keyCode);
    if (vk >= 0x41 && vk <= 0x5A) return QKeyCombination(modifiers, Qt::Key(Qt::Key_A + (vk - 0x41)));
    if (vk >= 0x30 && vk <= 0x39) return QKeyCombination(modifiers, Qt::Key(Qt::Key_0 + (vk - 0x30)));
    if (vk >= 0x60 && vk <= 0x69)
        return QKeyCombination(modifiers | Qt::KeypadModifier, Qt::Key(Qt::Key_0 + (vk - 0x60)));
    if (vk >= 0x70 && vk <= 0x87) return QKeyCombination(modifiers, Qt::Key(Qt::Key_F1 + (vk - 0x70)));
    if (vk == 0x0D && (keyCode & KeyExtended)) return QKeyCombination(modifiers | Qt::KeypadModifier, Qt::Key_Enter);
    if (vk == 0x09 && (keyCode & KeyShift)) return QKeyCombination(modifiers, Qt::Key_Backtab);
    for (const KeyPair &pair : kKeys)
        if (pair.virtualKey == vk)
            return QKeyCombination(pair.keypad ? modifiers | Qt::KeypadModifier : modifiers, pair.key);
    return std::nullopt;
}

QKeySequence keyCodeToSequence(uint32_t keyCode) {
    const auto key = keyCodeToQt(keyCode);
    return key ? QKeySequence(*key) : QKeySequence();
}

std::optional<uint32_t> keyCodeFromQt(QKeyCombination combination) {
    Qt::Key key = combination.key();
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    const bool keypad = modifiers & Qt::KeypadModifier;
    uint32_t bits = bitsOf(modifiers);
    if (key == Qt::Key_Backtab) {
        key = Qt::Key_Tab;
        bits |= KeyShift;
    }
    if (!keypad && (modifiers & Qt::ShiftModifier)) {
        for (const auto &[shifted, plain] : kShifted)
            if (shifted == key) key = plain;
    }
    // Letters typed with Shift may arrive as lower-case Latin-1 codes.
    if (key >= 0x61 && key <= 0x7A) key = Qt::Key(key - 0x20);
    const auto vk = virtualKeyOf(key, keypad);
    if (!vk) return std::nullopt;
    if (*vk == 0x0D && keypad) bits |= KeyExtended;
    return bits | *vk;
}

std::optional<uint32_t> keyCodeFromEvent(const QKeyEvent &event) { return keyCodeFromQt(event.keyCombination()); }

uint32_t keyLockStates(const QKeyEvent &event) {
    uint32_t bits = KeyInsertMode;
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        constexpr quint32 kXLockMask = 0x02;  // Caps Lock
        constexpr quint32 kXMod2Mask = 0x10;  // Num Lock on every usual keymap
        const quint32 state = event.nativeModifiers();
        if (state & kXLockMask) bits |= KeyCapsLock;
        if (state & kXMod2Mask) bits |= KeyNumLock;
    }
    return bits;
}

QString keyCodeName(uint32_t keyCode) { return keyCodeToSequence(keyCode).toString(QKeySequence::NativeText); }

}  // namespace kvr::runtime::qt
