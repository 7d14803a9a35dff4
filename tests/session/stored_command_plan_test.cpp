// The stored-command menus without their window: the numbering and grouping
// of a build, the shortcuts the entries get, the limit of 999 numbers, and
// what choosing an entry does to the console.  The menus themselves, built
// from a real COMMANDS file, are tested with the main window.
#include "session/stored_command_plan.h"

#include "session/command_console.h"
#include "session/hex_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvr::session {
namespace {

using Kind = PlannedItem::Kind;

// Key codes name a key by their low 11 bits here (lock states ignored);
// 0xFF names no key.  The window uses the runtime's key-code mapping.
std::optional<uint64_t> testKey(uint32_t code) {
    if ((code & 0xFF) == 0xFF) return std::nullopt;
    return code & 0x7FF;
}

StoredCommandRow row(const char *card, const char *name, int32_t hotKey = 0, uint32_t record = 0) {
    return {fixedWidth(card, 10), fixedWidth(name, 30), hotKey, record};
}

struct Expected {
    Kind kind;
    int32_t number, menu;
    const char *text;
};

void expectItems(const StoredCommandPlan &plan, const std::vector<Expected> &expected) {
    ASSERT_EQ(plan.items.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(plan.items[i].kind, expected[i].kind);
        EXPECT_EQ(plan.items[i].number, expected[i].number);
        if (expected[i].kind == Kind::Entry) {
            EXPECT_EQ(plan.items[i].menuNumber, expected[i].menu);
        }
        EXPECT_EQ(plan.items[i].text, expected[i].text);
    }
}

TEST(StoredCommandPlan, OneSequenceFrom1001ASubmenuBeforeItsEntries) {
    const auto plan = planStoredCommandMenus(
        {row("EMV", "Select", 0, 7), row("EMV", "Read", 0, 3), row("SIM", "Status", 0, 9)}, {}, testKey);
    expectItems(plan, {{Kind::CardMenu, 1001, 0, "EMV"},
                       {Kind::Entry, 1002, 1001, "Select"},
                       {Kind::Entry, 1003, 1001, "Read"},
                       {Kind::CardMenu, 1004, 0, "SIM"},
                       {Kind::Entry, 1005, 1004, "Status"}});
    EXPECT_EQ(plan.lastEntryNumber, 1005);
    EXPECT_EQ(plan.commandsNotShown, 0u);
    ASSERT_NE(plan.entry(1003), nullptr);
    EXPECT_EQ(plan.entry(1003)->recordNumber, 3u);
    EXPECT_EQ(plan.entry(1004), nullptr) << "a submenu is no entry";
    EXPECT_EQ(plan.entry(1006), nullptr);
    EXPECT_EQ(plan.entry(1000), nullptr);

    const auto empty = planStoredCommandMenus({}, {}, testKey);
    EXPECT_TRUE(empty.items.empty());
    EXPECT_EQ(empty.lastEntryNumber, 0);
}

TEST(StoredCommandPlan, ANewSubmenuWheneverTheCardNameChangesCaseIncluded) {
    const auto plan = planStoredCommandMenus(
        {row("EMV", "a"), row("emv", "b"), row("EMV", "c"), row("EMV  ", "d"), row("E MV", "e")}, {}, testKey);
    expectItems(plan, {{Kind::CardMenu, 1001, 0, "EMV"},
                       {Kind::Entry, 1002, 1001, "a"},
                       {Kind::CardMenu, 1003, 0, "emv"},
                       {Kind::Entry, 1004, 1003, "b"},
                       {Kind::CardMenu, 1005, 0, "EMV"},
                       {Kind::Entry, 1006, 1005, "c"},
                       {Kind::Entry, 1007, 1005, "d"},
                       {Kind::CardMenu, 1008, 0, "E MV"},
                       {Kind::Entry, 1009, 1008, "e"}});
}

TEST(StoredCommandPlan, ShortcutsFirstComeAndFixedKeysKept) {
    constexpr uint32_t kCtrlC = 0x243, kF2 = 0x71, kF5 = 0x74;
    struct Case {
        int32_t hotKey;
        uint32_t shortcut;
        const char *why;
    };
    const Case cases[] = {
        {kF2, kF2, "F2 taken from the record"},
        {kF5, kF5, "F5 taken"},
        {kF5, 0, "the first entry with F5 keeps it"},
        {static_cast<int32_t>(kF5 | 0x1000), 0, "F5 with Caps Lock is the same key"},
        {kCtrlC, 0, "Ctrl+C stays with the fixed item"},
        {0, 0, "0 is no shortcut"},
        {0xFF, 0, "a code that names no key"},
        {0x275, 0x275, "Ctrl+F6"},
    };
    std::vector<StoredCommandRow> rows;
    for (const Case &c : cases) rows.push_back(row("CARD", c.why, c.hotKey));
    const auto plan = planStoredCommandMenus(rows, {kCtrlC}, testKey);
    ASSERT_EQ(plan.items.size(), rows.size() + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(cases[i].why);
        EXPECT_EQ(plan.items[i + 1].keyCode, cases[i].shortcut);
    }
    // The keys another item had are named; a code that names no key is none.
    EXPECT_EQ(plan.hotKeysTaken,
              (std::vector<std::string>{"the first entry with F5 keeps", "F5 with Caps Lock is the same",
                                        "Ctrl+C stays with the fixed it"}));
    const StoredMenusNote note = storedMenusNote(plan, [](const std::string &name) { return "<" + name + ">"; });
    EXPECT_EQ(note.text, "3 teclas rápidas repetidas no se asignaron");
    EXPECT_EQ(note.tip,
              "Su tecla rápida ya es de otro elemento del menú: <the first entry with F5 keeps>, <F5 with "
              "Caps Lock is the same>, <Ctrl+C stays with the fixed it>.");
}

TEST(StoredCommandPlan, AtMost999NumbersAndTheRestCounted) {
    struct Case {
        int cards, commandsPerCard;
        int32_t last;
        std::size_t notShown;
    };
    const Case cases[] = {
        {1, 998, 1999, 0},                      // the submenu and 998 entries fill the range
        {1, 1000, 1999, 2}, {500, 1, 1998, 1},  // no submenu is started without room for an entry
        {333, 2, 1999, 0},  {334, 2, 1999, 2},  // the last card finds no number left
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.cards << " x " << c.commandsPerCard);
        std::vector<StoredCommandRow> rows;
        for (int card = 0; card < c.cards; ++card) {
            // Appended, not "C" + ...: GCC 12 at -O2 misreads that one.
            const std::string name = std::string("C").append(std::to_string(card));
            for (int i = 0; i < c.commandsPerCard; ++i) rows.push_back(row(name.c_str(), "cmd"));
        }
        const auto plan = planStoredCommandMenus(rows, {}, testKey);
        EXPECT_EQ(plan.lastEntryNumber, c.last);
        EXPECT_EQ(plan.commandsNotShown, c.notShown);
        EXPECT_EQ(plan.items.back().kind, Kind::Entry);
        EXPECT_EQ(plan.items.back().number, c.last);
    }
    // Short enough for the status bar; the tip tells the whole.
    const auto same = [](const std::string &name) { return name; };
    StoredCommandPlan plan;
    EXPECT_EQ(storedMenusNote(plan, same).text, "") << "nothing to say";
    plan.commandsNotShown = 1;
    EXPECT_EQ(storedMenusNote(plan, same).text, "1 comando no cabe en el menú Tarjeta");
    plan.commandsNotShown = 12;
    plan.hotKeysTaken = {"Leer"};
    const StoredMenusNote note = storedMenusNote(plan, same);
    EXPECT_EQ(note.text, "12 comandos no caben en el menú Tarjeta; 1 tecla rápida repetida no se asignó");
    EXPECT_EQ(note.tip,
              "El menú Tarjeta admite 999 entradas entre tarjetas y comandos: 12 comandos no se muestran.\n"
              "Su tecla rápida ya es de otro elemento del menú: Leer.");
}

// Card groups whose name begins with "SAM", in any letter case, are planned
// a second time for the "&SAM" menu, numbered from 2001 in the same order,
// without shortcuts; the Tarjeta plan is the same as without them.
TEST(StoredCommandPlan, SamCardGroupsAgainFrom2001WithoutShortcuts) {
    const std::vector<StoredCommandRow> rows = {row("EMV", "Select", 0x71, 1),     row("SAM1", "Auth", 0x72, 2),
                                                row("SAM1", "Read", 0, 3),         row("sam1", "Lower", 0, 4),
                                                row("Samsung", "Status", 0x73, 5), row("SIM", "Status", 0, 6),
                                                row("SA", "Short", 0, 7),          row(" SAM", "Indented", 0, 8)};
    const auto plan = planStoredCommandMenus(rows, {}, testKey);
    EXPECT_EQ(plan.items.size(), 15u) << "every group under Tarjeta as before";
    EXPECT_EQ(plan.lastEntryNumber, 1015);
    const std::vector<Expected> sam = {{Kind::CardMenu, 2001, 0, "SAM1"},  {Kind::Entry, 2002, 2001, "Auth"},
                                       {Kind::Entry, 2003, 2001, "Read"},  {Kind::CardMenu, 2004, 0, "sam1"},
                                       {Kind::Entry, 2005, 2004, "Lower"}, {Kind::CardMenu, 2006, 0, "Samsung"},
                                       {Kind::Entry, 2007, 2006, "Status"}};
    ASSERT_EQ(plan.samItems.size(), sam.size());
    for (std::size_t i = 0; i < sam.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(plan.samItems[i].kind, sam[i].kind);
        EXPECT_EQ(plan.samItems[i].number, sam[i].number);
        if (sam[i].kind == Kind::Entry) {
            EXPECT_EQ(plan.samItems[i].menuNumber, sam[i].menu);
        }
        EXPECT_EQ(plan.samItems[i].text, sam[i].text);
        EXPECT_EQ(plan.samItems[i].keyCode, 0u) << "hot keys stay with the Tarjeta entries";
    }
    EXPECT_EQ(plan.lastSamEntryNumber, 2007);
    EXPECT_EQ(plan.samCommandsNotShown, 0u);
    ASSERT_NE(plan.samEntry(2003), nullptr);
    EXPECT_EQ(plan.samEntry(2003)->recordNumber, 3u);
    EXPECT_EQ(plan.samEntry(2001), nullptr) << "a submenu";
    EXPECT_EQ(plan.samEntry(2008), nullptr);
    ASSERT_NE(plan.entry(1004), nullptr);
    EXPECT_EQ(plan.entry(1004)->keyCode, 0x72u) << "SAM1's Auth keeps F3 under Tarjeta";

    const auto none = planStoredCommandMenus({row("EMV", "Select")}, {}, testKey);
    EXPECT_TRUE(none.samItems.empty());
    EXPECT_EQ(none.lastSamEntryNumber, 0);
}

TEST(StoredCommandPlan, AtMost999SamNumbersAndTheRestCounted) {
    std::vector<StoredCommandRow> rows;
    for (int i = 0; i < 1000; ++i) rows.push_back(row("SAM", "cmd"));
    rows.push_back(row("SAMB", "cmd"));
    const auto plan = planStoredCommandMenus(rows, {}, testKey);
    EXPECT_EQ(plan.lastSamEntryNumber, 2999);
    EXPECT_EQ(plan.samCommandsNotShown, 3u);
    EXPECT_EQ(plan.commandsNotShown, 3u);
    EXPECT_EQ(samCommandsNotShownMessage(3), "El menú SAM admite 999 entradas: 3 comandos no se muestran");
}

// The console's link is never used by filling.
class NoReader : public ReaderLink {
public:
    int32_t sendCommand(const CommandHeader &, uint8_t *, uint8_t *, uint8_t *, int32_t *, uint32_t) override {
        ADD_FAILURE() << "a stored command is not sent";
        return 0;
    }
    int32_t resetReader(int32_t *, uint8_t *) override { return 0; }
};

StoredCommand stored(const char *p1, const char *p2, const char *p3, const char *data) {
    return {"A1", "00", "A4", p1, p2, p3, fixedWidth(data, 128)};
}

class StoredCommandFill : public ::testing::Test {
protected:
    NoReader link;
    CommandConsole console{link};
};

TEST_F(StoredCommandFill, OpenFieldsStayEditableAndTheFirstTakesTheFocus) {
    struct Case {
        StoredCommand command;
        RequestEditable editable;
        StoredFocus focus;
    };
    const Case cases[] = {
        {stored("??", "??", "00", ""), {true, true, false, false}, StoredFocus::P1},
        {stored("00", "??", "??", "?"), {false, true, true, true}, StoredFocus::P2},
        {stored("00", "00", "??", ""), {false, false, true, false}, StoredFocus::P3},
        {stored("00", "00", "05", "??"), {false, false, false, true}, StoredFocus::RequestHex},
        {stored("00", "00", "02", "3F00"), {false, false, false, false}, StoredFocus::Send},
        {stored("0?", "?", "00", " ?"), {false, false, false, false}, StoredFocus::Send},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command.p1 + c.command.p2 + c.command.p3 + "|" + c.command.data);
        EXPECT_EQ(console.fillStored(c.command), c.focus);
        EXPECT_EQ(console.editable(), c.editable);
    }
}

TEST_F(StoredCommandFill, FillsThePanelAsStoredWithoutTouchingP3) {
    console.stat = "00";
    console.sw1 = "90";
    console.sw2 = "1A";
    console.enterByteView();
    console.byteViewEdited("xyz");
    EXPECT_EQ(console.fillStored(stored("01", "02", "05", "00A4 0400")), StoredFocus::Send);
    EXPECT_EQ(console.code + console.cla + console.ins + console.p1 + console.p2 + console.p3, "A100A4010205");
    EXPECT_EQ(console.requestHexShown(), "00A4 0400");
    EXPECT_EQ(console.requestBytesShown(), std::string("\x00\xA4\x04\x00", 4));
    EXPECT_EQ(console.dataEntryMode(), DataEntryMode::Stored);
    EXPECT_EQ(console.stat + console.sw1 + console.sw2 + console.len, std::string(8, ' '));
    // Question marks convert as 0: "??" is the byte 0x00.
    console.fillStored(stored("00", "00", "00", "??"));
    EXPECT_EQ(console.requestBytesShown(), std::string(1, '\0'));
    EXPECT_EQ(console.p3, "00");
}

TEST_F(StoredCommandFill, S2TakesP3FromTheReplyPanel) {
    console.sw2 = "1A";
    console.fillStored(stored("00", "00", "S2", ""));
    EXPECT_EQ(console.p3, "1A");
    // The fill blanked the reply: the next S2 finds SW2 blank.
    console.fillStored(stored("00", "00", "S2", ""));
    EXPECT_EQ(console.p3, "  ");
    EXPECT_EQ(hexPairOf(console.p3), 0x00);
}

TEST_F(StoredCommandFill, MenuActionsMakeTheFieldsEditableAgain) {
    console.fillStored(stored("00", "00", "00", ""));
    ASSERT_EQ(console.editable(), (RequestEditable{false, false, false, false}));
    console.prepare(prepareCommand(MenuCommand::CardIsoIn, 0));
    EXPECT_EQ(console.editable(), RequestEditable{});
    console.fillStored(stored("00", "00", "00", ""));
    console.resetReader();
    EXPECT_EQ(console.editable(), RequestEditable{});
}

// Under "&SAM" an entry fills the console for the current SAM: CODE plus
// the SAM, P3 as stored, nothing read-only, the focus on the send button.
TEST_F(StoredCommandFill, ASamEntryFillsForTheCurrentSamWithEveryFieldEditable) {
    const auto plan = planStoredCommandMenus({row("SAM", "Auth", 0, 9)}, {}, testKey);
    console.prepare(prepareCommand(MenuCommand::ActivateSam2, 0));
    ASSERT_EQ(console.currentSam(), 2);
    console.sw2 = "1A";
    std::vector<uint32_t> asked;
    const StoredCommandReader reader = [&](uint32_t record) -> std::optional<StoredCommand> {
        asked.push_back(record);
        return StoredCommand{"A1", "00", "88", "??", "00", "S2", fixedWidth("?0 11 22", 128)};
    };
    EXPECT_EQ(chooseStoredEntry(plan, 2002, reader, console), StoredFocus::Send);
    EXPECT_EQ(asked, std::vector<uint32_t>({9}));
    EXPECT_EQ(console.code + console.cla + console.ins + console.p1 + console.p2 + console.p3, "A30088??00S2");
    EXPECT_EQ(console.editable(), RequestEditable{});
    EXPECT_EQ(console.requestHexShown(), "?0 11 22");
    EXPECT_EQ(console.requestBytesShown(), std::string("\x00\x11\x22", 3));
    EXPECT_EQ(console.dataEntryMode(), DataEntryMode::Stored);
    EXPECT_EQ(console.sw2, "  ") << "the reply is blanked";
    // CODE wraps as a byte.
    console.fillStoredForSam(StoredCommand{"FF", "00", "00", "00", "00", "00", ""});
    EXPECT_EQ(console.code, "01");
    EXPECT_FALSE(chooseStoredEntry(plan, 2001, reader, console).has_value()) << "a submenu";
    EXPECT_FALSE(chooseStoredEntry(plan, 2003, reader, console).has_value());
}

TEST_F(StoredCommandFill, ChoosingAnEntryReadsItsRecordBack) {
    const auto plan = planStoredCommandMenus({row("EMV", "Select", 0, 41)}, {}, testKey);
    std::vector<uint32_t> asked;
    const StoredCommandReader gone = [&](uint32_t record) -> std::optional<StoredCommand> {
        asked.push_back(record);
        return std::nullopt;
    };
    console.sw2 = "1A";
    console.p1 = "77";
    EXPECT_FALSE(chooseStoredEntry(plan, 1002, gone, console).has_value());
    EXPECT_EQ(asked, std::vector<uint32_t>({41}));
    EXPECT_EQ(console.p1 + console.sw2, "771A") << "a record that is gone changes nothing";
    EXPECT_EQ(console.dataEntryMode(), DataEntryMode::Hex);
    EXPECT_FALSE(chooseStoredEntry(plan, 1001, gone, console).has_value()) << "a submenu";
    EXPECT_EQ(asked.size(), 1u);

    const StoredCommandReader present = [](uint32_t) { return stored("??", "00", "00", ""); };
    EXPECT_EQ(chooseStoredEntry(plan, 1002, present, console), StoredFocus::P1);
    EXPECT_EQ(console.p1, "??");
}

}  // namespace
}  // namespace kvr::session
