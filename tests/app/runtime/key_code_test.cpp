#include "runtime/qt/key_code.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

namespace kvr::runtime::qt {
namespace {

struct KeyCase {
    uint32_t code;
    QKeyCombination key;
};

// Codes as menus and stored hot keys give them, and the key press each names.
const KeyCase kCases[] = {
    {0x41, QKeyCombination(Qt::Key_A)},
    {0x5A, QKeyCombination(Qt::Key_Z)},
    {0x241, QKeyCombination(Qt::ControlModifier, Qt::Key_A)},
    {0x258, QKeyCombination(Qt::ControlModifier, Qt::Key_X)},
    {0x356, QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_V)},
    {0x30, QKeyCombination(Qt::Key_0)},
    {0x439, QKeyCombination(Qt::AltModifier, Qt::Key_9)},
    {0x70, QKeyCombination(Qt::Key_F1)},
    {0x71, QKeyCombination(Qt::Key_F2)},
    {0x7B, QKeyCombination(Qt::Key_F12)},
    {0x87, QKeyCombination(Qt::Key_F24)},
    {0x573, QKeyCombination(Qt::AltModifier | Qt::ShiftModifier, Qt::Key_F4)},
    {0x25, QKeyCombination(Qt::Key_Left)},
    {0x26, QKeyCombination(Qt::Key_Up)},
    {0x27, QKeyCombination(Qt::Key_Right)},
    {0x28, QKeyCombination(Qt::Key_Down)},
    {0x24, QKeyCombination(Qt::Key_Home)},
    {0x23, QKeyCombination(Qt::Key_End)},
    {0x21, QKeyCombination(Qt::Key_PageUp)},
    {0x22, QKeyCombination(Qt::Key_PageDown)},
    {0x2D, QKeyCombination(Qt::Key_Insert)},
    {0x2E, QKeyCombination(Qt::Key_Delete)},
    {0x08, QKeyCombination(Qt::Key_Backspace)},
    {0x09, QKeyCombination(Qt::Key_Tab)},
    {0x109, QKeyCombination(Qt::ShiftModifier, Qt::Key_Backtab)},
    {0x0D, QKeyCombination(Qt::Key_Return)},
    {0x80D, QKeyCombination(Qt::KeypadModifier, Qt::Key_Enter)},
    {0x1B, QKeyCombination(Qt::Key_Escape)},
    {0x20, QKeyCombination(Qt::Key_Space)},
    {0x60, QKeyCombination(Qt::KeypadModifier, Qt::Key_0)},
    {0x65, QKeyCombination(Qt::KeypadModifier, Qt::Key_5)},
    {0x269, QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_9)},
    {0x6A, QKeyCombination(Qt::KeypadModifier, Qt::Key_Asterisk)},
    {0x6B, QKeyCombination(Qt::KeypadModifier, Qt::Key_Plus)},
    {0x6D, QKeyCombination(Qt::KeypadModifier, Qt::Key_Minus)},
    {0x6E, QKeyCombination(Qt::KeypadModifier, Qt::Key_Period)},
    {0x6F, QKeyCombination(Qt::KeypadModifier, Qt::Key_Slash)},
    {0xBD, QKeyCombination(Qt::Key_Minus)},
    {0xBF, QKeyCombination(Qt::Key_Slash)},
    {0xDB, QKeyCombination(Qt::Key_BracketLeft)},
};

TEST(KeyCode, NamesTheKeyPressBothWays) {
    for (const KeyCase &c : kCases) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
        const auto key = keyCodeToQt(c.code);
        ASSERT_TRUE(key.has_value());
        EXPECT_EQ(*key, c.key);
        EXPECT_EQ(keyCodeFromQt(c.key), std::optional<uint32_t>(c.code));
    }
}

TEST(KeyCode, LockStatesAndTheExtendedBitDoNotChangeTheKey) {
    for (uint32_t lock : {0x1000u, 0x2000u, 0x4000u, 0x8000u, 0xF000u}) {
        EXPECT_EQ(keyCodeToQt(0x71 | lock), keyCodeToQt(0x71));
        EXPECT_EQ(keyCodeToQt(0x241 | lock), keyCodeToQt(0x241));
    }
    // Navigation keys come with or without the extended bit.
    EXPECT_EQ(keyCodeToQt(0x824), keyCodeToQt(0x24));
    EXPECT_EQ(keyCodeToQt(0x82E), keyCodeToQt(0x2E));
}

TEST(KeyCode, CodesWithoutAKeyGiveNothing) {
    for (uint32_t code : {0x00u, 0x07u, 0x0Au, 0x3Au, 0x40u, 0x88u, 0xFFu, 0x200u, 0x10000u}) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(keyCodeToQt(code).has_value());
        EXPECT_TRUE(keyCodeToSequence(code).isEmpty());
    }
    EXPECT_FALSE(keyCodeFromQt(QKeyCombination(Qt::Key_Shift)).has_value());
    EXPECT_FALSE(keyCodeFromQt(QKeyCombination(Qt::ControlModifier, Qt::Key_Control)).has_value());
    EXPECT_FALSE(keyCodeFromQt(QKeyCombination(Qt::Key_unknown)).has_value());
}

// Every code that names a key comes back unchanged from its key press, with
// every combination of Shift, Ctrl and Alt.
TEST(KeyCode, EveryMappedCodeSurvivesTheRoundTrip) {
    int mapped = 0;
    for (uint32_t modifiers : {0x000u, 0x100u, 0x200u, 0x300u, 0x400u, 0x500u, 0x600u, 0x700u}) {
        for (uint32_t vk = 1; vk < 0x100; ++vk) {
            const uint32_t code = modifiers | vk;
            const auto key = keyCodeToQt(code);
            if (!key) continue;
            ++mapped;
            EXPECT_EQ(keyCodeFromQt(*key), std::optional<uint32_t>(code)) << std::hex << code;
        }
    }
    // Letters, digits, F1-F24, keypad, navigation and editing keys at least.
    EXPECT_GE(mapped, 8 * (26 + 10 + 24 + 16 + 10 + 5));
}

TEST(KeyCode, ShiftedSymbolsNameTheirKey) {
    EXPECT_EQ(keyCodeFromQt(QKeyCombination(Qt::ShiftModifier, Qt::Key_Exclam)), std::optional<uint32_t>(0x131));
    EXPECT_EQ(keyCodeFromQt(QKeyCombination(Qt::ShiftModifier | Qt::ControlModifier, Qt::Key_ParenRight)),
              std::optional<uint32_t>(0x330));
    EXPECT_EQ(keyCodeFromQt(QKeyCombination(Qt::ShiftModifier, Qt::Key_Question)), std::optional<uint32_t>(0x1BF));
    // A keypad with Num Lock off reports navigation keys.
    EXPECT_EQ(keyCodeFromQt(QKeyCombination(Qt::KeypadModifier, Qt::Key_Home)), std::optional<uint32_t>(0x67));
}

TEST(KeyCode, SequencesUseTheKeyAndItsModifiers) {
    EXPECT_EQ(keyCodeToSequence(0x258), QKeySequence(Qt::CTRL | Qt::Key_X));
    EXPECT_EQ(keyCodeToSequence(0x7B), QKeySequence(Qt::Key_F12));
    EXPECT_EQ(keyCodeToSequence(0x2E), QKeySequence(Qt::Key_Delete));
}

TEST(KeyCode, NamesAreTheShortcutTextsOfTheKeys) {
    const std::pair<uint32_t, const char *> names[] = {
        {0x71, "F2"},   {0x258, "Ctrl+X"}, {0x171, "Shift+F2"}, {0x573, "Alt+Shift+F4"},
        {0x8071, "F2"}, {0x2E, "Del"},     {0x0D, "Return"},    {0x00, ""},
        {0x07, ""},     {0x200, ""},
    };
    for (const auto &[code, name] : names) EXPECT_EQ(keyCodeName(code), QString(name)) << std::hex << code;
}

TEST(KeyCode, LockStatesOfAKeyPressAlwaysSayInsertMode) {
    const QKeyEvent press(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier);
    EXPECT_EQ(keyLockStates(press) & KeyInsertMode, KeyInsertMode);
}

}  // namespace
}  // namespace kvr::runtime::qt
