#include "session/stored_command_plan.h"

#include "session/hex_codec.h"

#include <set>

namespace kvr::session {

const PlannedItem *StoredCommandPlan::entry(int32_t number) const {
    if (number < kFirstStoredEntry || number > lastEntryNumber) return nullptr;
    const PlannedItem &item = items[static_cast<std::size_t>(number - kFirstStoredEntry)];
    return item.kind == PlannedItem::Kind::Entry ? &item : nullptr;
}

const PlannedItem *StoredCommandPlan::samEntry(int32_t number) const {
    if (number < kFirstSamStoredEntry || number > lastSamEntryNumber) return nullptr;
    const PlannedItem &item = samItems[static_cast<std::size_t>(number - kFirstSamStoredEntry)];
    return item.kind == PlannedItem::Kind::Entry ? &item : nullptr;
}

bool isSamCard(std::string_view cardName) {
    if (cardName.size() < 3) return false;
    for (std::size_t i = 0; i < 3; ++i)
        if ((cardName[i] & ~0x20) != "SAM"[i]) return false;
    return true;
}

namespace {

// Where the next entries go in one menu: the next free number and the card
// submenu now open (0 for none).
struct MenuCursor {
    explicit MenuCursor(int32_t first) : next(first) {}

    int32_t next;
    int32_t cardMenu = 0;
    std::string cardText;

    bool opensCard(std::string_view cardName) const { return cardMenu == 0 || cardText != cardName; }

    // Places a row: a new card submenu first when its card name changes,
    // then its entry, which is returned.
    PlannedItem &place(const StoredCommandRow &row, std::string_view cardName, std::vector<PlannedItem> &items) {
        if (opensCard(cardName)) {
            cardMenu = next++;
            cardText = std::string(cardName);
            PlannedItem menu;
            menu.kind = PlannedItem::Kind::CardMenu;
            menu.number = cardMenu;
            menu.text = cardText;
            items.push_back(std::move(menu));
        }
        PlannedItem entry;
        entry.number = next++;
        entry.menuNumber = cardMenu;
        entry.text = std::string(trimRight(row.name));
        entry.recordNumber = row.recordNumber;
        items.push_back(std::move(entry));
        return items.back();
    }
};

// The "&SAM" menu's share: the SAM card groups numbered from 2001, a
// submenu before its entries, a new submenu at each change of card name,
// no shortcuts.
void planSamMenus(const std::vector<StoredCommandRow> &rows, StoredCommandPlan &plan) {
    MenuCursor cursor(kFirstSamStoredEntry);
    bool full = false;
    for (const StoredCommandRow &row : rows) {
        const std::string_view cardName = trimRight(row.card);
        if (!isSamCard(cardName)) continue;
        // Once one is left out, so are all after it, as under "&Tarjeta".
        full = full || cursor.next + (cursor.opensCard(cardName) ? 1 : 0) > kLastSamStoredEntry;
        if (full) {
            ++plan.samCommandsNotShown;
            continue;
        }
        cursor.place(row, cardName, plan.samItems);
    }
    plan.lastSamEntryNumber = cursor.next - 1 >= kFirstSamStoredEntry ? cursor.next - 1 : 0;
}

}  // namespace

StoredCommandPlan planStoredCommandMenus(const std::vector<StoredCommandRow> &rows,
                                         const std::vector<uint32_t> &fixedKeys, const KeyIdentity &identity) {
    StoredCommandRows read;
    read.rows = rows;
    for (const StoredCommandRow &row : rows)
        if (isSamCard(trimRight(row.card))) read.samRows.push_back(row);
    return planStoredCommandRows(read, fixedKeys, identity);
}

StoredCommandPlan planStoredCommandRows(const StoredCommandRows &read, const std::vector<uint32_t> &fixedKeys,
                                        const KeyIdentity &identity) {
    const std::vector<StoredCommandRow> &rows = read.rows;
    std::set<uint64_t> taken;
    for (uint32_t code : fixedKeys)
        if (const auto key = identity(code)) taken.insert(*key);

    StoredCommandPlan plan;
    MenuCursor cursor(kFirstStoredEntry);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const StoredCommandRow &row = rows[i];
        const std::string_view cardName = trimRight(row.card);
        if (cursor.next + (cursor.opensCard(cardName) ? 1 : 0) > kLastStoredEntry) {
            plan.commandsNotShown = rows.size() - i;
            break;
        }
        PlannedItem &entry = cursor.place(row, cardName, plan.items);
        if (row.hotKey != 0) {
            const auto key = identity(static_cast<uint32_t>(row.hotKey));
            if (key && taken.insert(*key).second)
                entry.keyCode = static_cast<uint32_t>(row.hotKey);
            else if (key)
                plan.hotKeysTaken.push_back(entry.text);
        }
    }
    plan.commandsNotShown += read.rowsNotRead;
    plan.lastEntryNumber = cursor.next - 1 >= kFirstStoredEntry ? cursor.next - 1 : 0;
    planSamMenus(read.samRows, plan);
    plan.samCommandsNotShown += read.samRowsNotRead;
    return plan;
}

StoredMenusNote storedMenusNote(const StoredCommandPlan &plan,
                                const std::function<std::string(const std::string &name)> &utf8) {
    StoredMenusNote note;
    const auto add = [](std::string &to, const std::string &what, const char *between) {
        if (!to.empty()) to += between;
        to += what;
    };
    if (const std::size_t count = plan.commandsNotShown) {
        add(note.text,
            std::to_string(count) + (count == 1 ? " comando no cabe" : " comandos no caben") + " en el menú Tarjeta",
            "; ");
        add(note.tip,
            "El menú Tarjeta admite 999 entradas entre tarjetas y comandos: " + std::to_string(count) +
                (count == 1 ? " comando no se muestra." : " comandos no se muestran."),
            "\n");
    }
    if (const std::size_t count = plan.samCommandsNotShown) {
        add(note.text,
            std::to_string(count) + (count == 1 ? " comando no cabe" : " comandos no caben") + " en el menú SAM", "; ");
        add(note.tip, samCommandsNotShownMessage(count) + ".", "\n");
    }
    if (const std::size_t count = plan.hotKeysTaken.size()) {
        add(note.text,
            std::to_string(count) +
                (count == 1 ? " tecla rápida repetida no se asignó" : " teclas rápidas repetidas no se asignaron"),
            "; ");
        std::string names;
        for (const std::string &name : plan.hotKeysTaken) add(names, utf8(name), ", ");
        add(note.tip, "Su tecla rápida ya es de otro elemento del menú: " + names + ".", "\n");
    }
    return note;
}

StoredMenusNote storedMenusNotUpdatedNote() {
    return {"Menús de comandos sin actualizar: COMMANDS no se pudo leer",
            "El archivo de comandos no se pudo leer (otra estación puede tenerlo ocupado). Los menús de Tarjeta "
            "siguen como estaban; se actualizan al cerrar otra vez Utilidades > Comandos."};
}

std::string samCommandsNotShownMessage(std::size_t count) {
    return "El menú SAM admite 999 entradas: " + std::to_string(count) +
           (count == 1 ? " comando no se muestra" : " comandos no se muestran");
}

std::optional<StoredFocus> chooseStoredEntry(const StoredCommandPlan &plan, int32_t number,
                                             const StoredCommandReader &readBack, CommandConsole &console) {
    if (number >= kFirstSamStoredEntry && number <= kLastSamStoredEntry) {
        const PlannedItem *entry = plan.samEntry(number);
        if (!entry) return std::nullopt;
        const std::optional<StoredCommand> command = readBack(entry->recordNumber);
        if (!command) return std::nullopt;
        console.fillStoredForSam(*command);
        return StoredFocus::Send;
    }
    const PlannedItem *entry = plan.entry(number);
    if (!entry) return std::nullopt;
    const std::optional<StoredCommand> command = readBack(entry->recordNumber);
    if (!command) return std::nullopt;
    return console.fillStored(*command);
}

}  // namespace kvr::session
