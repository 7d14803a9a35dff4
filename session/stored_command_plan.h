// The stored-command menus without their window: which card submenus and
// entries a build of the "&Tarjeta" menu creates from the records of
// COMMANDS, the shortcut each entry gets, and what choosing an entry does to
// the console.
//
// Numbers: card submenus and entries share one sequence from 1001, in the
// order they are created, a submenu before the entries it holds; 1001 to
// 1999 are the Tarjeta stored commands, so at most 999 are offered.  A card
// submenu starts whenever the card name differs from the current one
// (trailing spaces ignored, letter case distinct).
#ifndef KVR_SESSION_STORED_COMMAND_PLAN_H
#define KVR_SESSION_STORED_COMMAND_PLAN_H

#include "session/command_console.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvr::session {

inline constexpr int32_t kFirstStoredEntry = 1001;
inline constexpr int32_t kLastStoredEntry = 1999;
// The card groups whose card name begins with "SAM" (any letter case) are
// offered a second time under the "&SAM" menu, numbered the same way from
// 2001, without shortcuts; choosing one fills the console for the current
// SAM (CommandConsole::fillStoredForSam).
inline constexpr int32_t kFirstSamStoredEntry = 2001;
inline constexpr int32_t kLastSamStoredEntry = 2999;

// One record of COMMANDS as the key delivers it.
struct StoredCommandRow {
    std::string card;  // CMD:CARD, 10 characters
    std::string name;  // CMD:NAME, 30 characters
    int32_t hotKey = 0;
    uint32_t recordNumber = 0;
};

struct PlannedItem {
    enum class Kind { CardMenu, Entry };
    Kind kind = Kind::Entry;
    int32_t number = 0;
    int32_t menuNumber = 0;  // an entry's card submenu
    std::string text;        // the card or command name, trailing spaces dropped
    uint32_t keyCode = 0;    // an entry's shortcut; 0 for none
    uint32_t recordNumber = 0;
};

struct StoredCommandPlan {
    std::vector<PlannedItem> items;  // in the order they are created
    int32_t lastEntryNumber = 0;     // the highest number used; 0 when none
    std::size_t commandsNotShown = 0;
    // The entries whose hot key a fixed item or an earlier entry has
    // already, in menu order (their names as in items).
    std::vector<std::string> hotKeysTaken;

    // The entry with that number; null for submenus and unknown numbers.
    const PlannedItem *entry(int32_t number) const;

    // The "&SAM" menu's share, numbered from 2001.
    std::vector<PlannedItem> samItems;
    int32_t lastSamEntryNumber = 0;  // the highest number used; 0 when none
    std::size_t samCommandsNotShown = 0;
    const PlannedItem *samEntry(int32_t number) const;
};

// Whether a card group belongs under the "&SAM" menu too.
bool isSamCard(std::string_view cardName);

// The key a key code stands for, so that two codes of one key press compare
// equal; nothing when the code names no key (it then gives no shortcut).
using KeyIdentity = std::function<std::optional<uint64_t>(uint32_t keyCode)>;

// What a build reads of COMMANDS (stored_command_reads.h): the first records
// in key order, enough for any plan of the "&Tarjeta" menu, and the records
// of the SAM card groups, enough for the "&SAM" menu; each with the number
// of records after them that were counted but not read.
inline constexpr std::size_t kStoredRowsRead = kLastStoredEntry - kFirstStoredEntry + 1;
struct StoredCommandRows {
    std::vector<StoredCommandRow> rows;
    std::size_t rowsNotRead = 0;
    std::vector<StoredCommandRow> samRows;
    std::size_t samRowsNotRead = 0;
};

// Plans a build from the records in key order.  An entry gets its hot key as
// its shortcut unless the key is one of fixedKeys (the fixed menu items keep
// their keys) or an earlier entry already has it (the first in menu order
// keeps it); hotKeysTaken names the entries left without.  When the records
// need more than the 999 numbers, the first ones are offered and
// commandsNotShown counts the rest; a card submenu is not started without
// room for an entry in it.
StoredCommandPlan planStoredCommandMenus(const std::vector<StoredCommandRow> &rows,
                                         const std::vector<uint32_t> &fixedKeys, const KeyIdentity &identity);
// The same from what a build read: the records not read count as not shown.
StoredCommandPlan planStoredCommandRows(const StoredCommandRows &read, const std::vector<uint32_t> &fixedKeys,
                                        const KeyIdentity &identity);

// What the status bar says after a build, short enough for the main
// window's width, and its tip with the whole story.
struct StoredMenusNote {
    std::string text;
    std::string tip;
};

// Commands left out of the menus and hot keys not given; an empty text when
// there is nothing to say.  utf8 turns a command name (Western bytes, as
// stored) into the UTF-8 of status texts.
StoredMenusNote storedMenusNote(const StoredCommandPlan &plan,
                                const std::function<std::string(const std::string &name)> &utf8);

// A rebuild that could not read COMMANDS (another station holding it, for
// one) keeps the menus it had, and says so.
StoredMenusNote storedMenusNotUpdatedNote();

// The whole text, for the status bar's tip, when SAM entries are left out.
std::string samCommandsNotShownMessage(std::size_t count);

// Reads a record back by its number; nothing when it can no longer be read.
using StoredCommandReader = std::function<std::optional<StoredCommand>(uint32_t recordNumber)>;

// Choosing an entry: reads its record back and fills the console from it.
// Returns where the focus goes, or nothing (console unchanged) when the
// number is no entry of the plan or its record is gone.
std::optional<StoredFocus> chooseStoredEntry(const StoredCommandPlan &plan, int32_t number,
                                             const StoredCommandReader &readBack, CommandConsole &console);

}  // namespace kvr::session

#endif
