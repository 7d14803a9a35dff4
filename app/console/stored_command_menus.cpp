#include "console/stored_command_menus.h"

#include "library/commands_library.h"
#include "runtime/key_code.h"
#include "runtime/menus.h"
#include "runtime/western_text.h"

namespace kvr::console {

namespace {

template <std::size_t N>
std::string raw(const char (&field)[N]) {
    return std::string(field, N);
}

std::optional<uint64_t> keyIdentity(uint32_t keyCode) {
    const auto key = runtime::keyCodeToQt(keyCode);
    if (!key) return std::nullopt;
    return static_cast<uint64_t>(key->toCombined());
}

}  // namespace

StoredCommandMenus::StoredCommandMenus(runtime::Menus &menus, library::CommandsLibrary &library, int parentMenu,
                                       std::vector<uint32_t> fixedKeys)
    : menus_(menus), library_(library), parentMenu_(parentMenu), fixedKeys_(std::move(fixedKeys)) {}

const StoredCommandPlan &StoredCommandMenus::build(int32_t lastEntryNumber) {
    // A submenu takes its entries with it; ids already gone are skipped.
    for (int32_t number = kFirstStoredEntry; number <= lastEntryNumber; ++number) menus_.remove(number);

    std::vector<StoredCommandRow> rows;
    runtime::KeyedFile &file = library_.commandsFile();
    const library::Commands &record = library_.commandsRecord();
    if (file.isOpen() && file.setStart() == runtime::KeyedOk) {
        int code = runtime::KeyedOk;
        while ((code = file.next()) == runtime::KeyedOk)
            rows.push_back({raw(record.card), raw(record.name), record.hotKey, file.recordNumber()});
        // A read that fails (a damaged file) stops here and says so; the
        // menus hold the commands read before it.
        if (code != runtime::KeyedNotAvailable) library_.warnings().tell(library::Warning::FileLoadFailed, "Commands");
    }
    plan_ = planStoredCommandMenus(rows, fixedKeys_, keyIdentity);

    for (const PlannedItem &item : plan_.items) {
        const QString text = runtime::fromWestern(item.text);
        if (item.kind == PlannedItem::Kind::CardMenu)
            menus_.addMenu(item.number, text, parentMenu_);
        else
            menus_.addItem(item.menuNumber, item.number, text, item.keyCode);
    }
    return plan_;
}

std::optional<StoredFocus> StoredCommandMenus::choose(int32_t number, CommandConsole &console) {
    const auto readBack = [this](uint32_t recordNumber) -> std::optional<StoredCommand> {
        runtime::KeyedFile &file = library_.commandsFile();
        if (!file.isOpen() || file.readByNumber(recordNumber) != runtime::KeyedOk) return std::nullopt;
        const library::Commands &r = library_.commandsRecord();
        return StoredCommand{raw(r.frsCode), raw(r.frsCla), raw(r.frsIns), raw(r.frsP1),
                             raw(r.frsP2),   raw(r.frsP3),  raw(r.data)};
    };
    return chooseStoredEntry(plan_, number, readBack, console);
}

}  // namespace kvr::console
