#include "console/stored_command_plan.h"

#include "console/hex_codec.h"

#include <set>

namespace kvr::console {

const PlannedItem *StoredCommandPlan::entry(int32_t number) const {
    if (number < kFirstStoredEntry || number > lastEntryNumber) return nullptr;
    const PlannedItem &item = items[static_cast<std::size_t>(number - kFirstStoredEntry)];
    return item.kind == PlannedItem::Kind::Entry ? &item : nullptr;
}

StoredCommandPlan planStoredCommandMenus(const std::vector<StoredCommandRow> &rows,
                                         const std::vector<uint32_t> &fixedKeys, const KeyIdentity &identity) {
    std::set<uint64_t> taken;
    for (uint32_t code : fixedKeys)
        if (const auto key = identity(code)) taken.insert(*key);

    StoredCommandPlan plan;
    int32_t next = kFirstStoredEntry;
    int32_t cardMenu = 0;  // the current card submenu; 0 for none
    std::string cardText;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const StoredCommandRow &row = rows[i];
        const std::string_view cardName = trimRight(row.card);
        const bool newCard = cardMenu == 0 || cardText != cardName;
        if (next + (newCard ? 1 : 0) > kLastStoredEntry) {
            plan.commandsNotShown = rows.size() - i;
            break;
        }
        if (newCard) {
            cardMenu = next++;
            cardText = std::string(cardName);
            PlannedItem menu;
            menu.kind = PlannedItem::Kind::CardMenu;
            menu.number = cardMenu;
            menu.text = cardText;
            plan.items.push_back(std::move(menu));
        }
        PlannedItem entry;
        entry.number = next++;
        entry.menuNumber = cardMenu;
        entry.text = std::string(trimRight(row.name));
        entry.recordNumber = row.recordNumber;
        if (row.hotKey != 0) {
            const auto key = identity(static_cast<uint32_t>(row.hotKey));
            if (key && taken.insert(*key).second)
                entry.keyCode = static_cast<uint32_t>(row.hotKey);
            else if (key)
                plan.hotKeysTaken.push_back(entry.text);
        }
        plan.items.push_back(std::move(entry));
    }
    plan.lastEntryNumber = next - 1 >= kFirstStoredEntry ? next - 1 : 0;
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

std::optional<StoredFocus> chooseStoredEntry(const StoredCommandPlan &plan, int32_t number,
                                             const StoredCommandReader &readBack, CommandConsole &console) {
    const PlannedItem *entry = plan.entry(number);
    if (!entry) return std::nullopt;
    const std::optional<StoredCommand> command = readBack(entry->recordNumber);
    if (!command) return std::nullopt;
    return console.fillStored(*command);
}

}  // namespace kvr::console
