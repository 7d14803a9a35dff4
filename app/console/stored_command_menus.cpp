#include "console/stored_command_menus.h"

#include "console/stored_command_reads.h"

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

// A name exactly as stored: a menu would take its "&" for the mark of an
// access letter ("R&D" would show as "RD").
QString asMenuText(const std::string &name) {
    return runtime::fromWestern(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
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

bool StoredCommandMenus::build(int32_t lastEntryNumber) {
    StoredCommandRows rows;
    runtime::KeyedFile &file = library_.commandsFile();
    if (file.isOpen()) {
        const std::uint64_t mark = file.changeMark();
        const int code = readStoredCommandRows(file, rows);
        if (code == runtime::KeyedSystemError) {
            // A damaged file: the read stops here and says so, and the menus
            // hold the commands read before it.  Waiting would not mend it.
            library_.warnings().tell(library::Warning::FileLoadFailed, file.lastError(), "Commands");
        } else if (code != runtime::KeyedOk) {
            return false;  // another station holding the file: keep the menus
        }
        builtAt_ = mark;
    }

    // A submenu takes its entries with it; ids already gone are skipped.
    for (int32_t number = kFirstStoredEntry; number <= lastEntryNumber; ++number) menus_.remove(number);
    for (int32_t number = kFirstSamStoredEntry; number <= plan_.lastSamEntryNumber; ++number) menus_.remove(number);
    plan_ = planStoredCommandRows(rows, fixedKeys_, keyIdentity);
    for (const PlannedItem &item : plan_.items) {
        const QString text = asMenuText(item.text);
        if (item.kind == PlannedItem::Kind::CardMenu)
            menus_.addMenu(item.number, text, parentMenu_);
        else
            menus_.addItem(item.menuNumber, item.number, text, item.keyCode);
    }
    if (samMenu_ != 0) {
        for (const PlannedItem &item : plan_.samItems) {
            const QString text = asMenuText(item.text);
            if (item.kind == PlannedItem::Kind::CardMenu)
                menus_.addMenu(item.number, text, samMenu_);
            else
                menus_.addItem(item.menuNumber, item.number, text);
        }
    }
    return true;
}

bool StoredCommandMenus::fileChangedSinceBuild() {
    runtime::KeyedFile &file = library_.commandsFile();
    return file.isOpen() && file.changeMark() != builtAt_;
}

void StoredCommandMenus::fileSeen() {
    runtime::KeyedFile &file = library_.commandsFile();
    if (file.isOpen()) builtAt_ = file.changeMark();
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
