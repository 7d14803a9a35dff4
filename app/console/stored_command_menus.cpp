#include "console/stored_command_menus.h"

#include "console/stored_command_reads.h"

#include "library/commands_library.h"
#include "runtime/qt/key_code.h"
#include "runtime/qt/menus.h"
#include "runtime/qt/western_text.h"

namespace kvr::console {

using namespace session;

namespace {

template <std::size_t N>
std::string raw(const char (&field)[N]) {
    return std::string(field, N);
}

// A name exactly as stored: a menu would take its "&" for the mark of an
// access letter ("R&D" would show as "RD").
QString asMenuText(const std::string &name) {
    return runtime::qt::fromWestern(name).replace(QLatin1Char('&'), QStringLiteral("&&"));
}

std::optional<uint64_t> keyIdentity(uint32_t keyCode) {
    const auto key = runtime::qt::keyCodeToQt(keyCode);
    if (!key) return std::nullopt;
    return static_cast<uint64_t>(key->toCombined());
}

// Whether a menu item of one build stands as it is for the other's.
bool sameItem(const PlannedItem &a, const PlannedItem &b) {
    return a.kind == b.kind && a.number == b.number && a.menuNumber == b.menuNumber && a.text == b.text &&
           a.keyCode == b.keyCode;
}

// How many items two builds share from the first on.
std::size_t sharedItems(const std::vector<PlannedItem> &before, const std::vector<PlannedItem> &after) {
    std::size_t n = 0;
    while (n < before.size() && n < after.size() && sameItem(before[n], after[n])) ++n;
    return n;
}

TeamMenuRefresh::Heard heardOf(keyed::ChangeNews news) {
    switch (news) {
    case keyed::ChangeNews::Changed: return TeamMenuRefresh::Heard::Changed;
    case keyed::ChangeNews::Lost: return TeamMenuRefresh::Heard::Lost;
    case keyed::ChangeNews::Back: return TeamMenuRefresh::Heard::Back;
    case keyed::ChangeNews::None: break;
    }
    return TeamMenuRefresh::Heard::Nothing;
}

}  // namespace

StoredCommandMenus::StoredCommandMenus(runtime::qt::Menus &menus, library::CommandsLibrary &library, int parentMenu,
                                       std::vector<uint32_t> fixedKeys)
    : menus_(menus), library_(library), parentMenu_(parentMenu), fixedKeys_(std::move(fixedKeys)) {}

bool StoredCommandMenus::build(int32_t lastEntryNumber) {
    StoredCommandRows rows;
    keyed::KeyedFile &file = library_.commandsFile();
    if (file.isOpen()) {
        // Listening starts before the first read, and the notices heard
        // before a read are answered by it.
        const auto now = TeamMenuRefresh::Clock::now();
        if (!notices_ && (notices_ = file.listenForChanges())) refresh_.listened(notices_->listen(), now);
        if (notices_) refresh_.heard(heardOf(notices_->take()), now);
        refresh_.built();
        const std::uint64_t mark = file.changeMark();
        const int code = readStoredCommandRows(file, rows);
        if (code == keyed::KeyedSystemError) {
            // A damaged file: the read stops here and says so, and the menus
            // hold the commands read before it.  Waiting would not mend it.
            library_.warnings().tell(library::Warning::FileLoadFailed, file.lastError(), "Commands");
        } else if (code != keyed::KeyedOk) {
            return false;  // another station holding the file: keep the menus
        }
        builtAt_ = mark;
    }

    // The items both builds share from the first on stay as they are, so
    // that a build after a browser that changed nothing, or changed commands
    // late in the key order, touches few menu items; from the first item
    // that differs on, the previous build's go (a submenu takes its entries
    // with it; ids already gone are skipped) and the new build's are made.
    StoredCommandPlan next = planStoredCommandRows(rows, fixedKeys_, keyIdentity);
    const std::size_t kept = lastEntryNumber == plan_.lastEntryNumber ? sharedItems(plan_.items, next.items) : 0;
    const std::size_t samKept = sharedItems(plan_.samItems, next.samItems);
    for (int32_t number = kFirstStoredEntry + static_cast<int32_t>(kept); number <= lastEntryNumber; ++number)
        menus_.remove(number);
    for (int32_t number = kFirstSamStoredEntry + static_cast<int32_t>(samKept); number <= plan_.lastSamEntryNumber;
         ++number)
        menus_.remove(number);
    plan_ = std::move(next);
    for (std::size_t i = kept; i < plan_.items.size(); ++i) {
        const PlannedItem &item = plan_.items[i];
        const QString text = asMenuText(item.text);
        if (item.kind == PlannedItem::Kind::CardMenu)
            menus_.addMenu(item.number, text, parentMenu_);
        else
            menus_.addItem(item.menuNumber, item.number, text, item.keyCode);
    }
    if (samMenu_ != 0) {
        for (std::size_t i = samKept; i < plan_.samItems.size(); ++i) {
            const PlannedItem &item = plan_.samItems[i];
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
    keyed::KeyedFile &file = library_.commandsFile();
    return file.isOpen() && file.changeMark() != builtAt_;
}

bool StoredCommandMenus::teamChangedSinceBuild(bool betweenActions) {
    if (!notices_) return false;
    const auto now = TeamMenuRefresh::Clock::now();
    refresh_.heard(heardOf(notices_->take()), now);
    if (refresh_.listenDue(now)) {
        notices_->listenAgain();
        refresh_.tried(now);
    }
    return refresh_.buildDue(betweenActions);
}

void StoredCommandMenus::fileSeen() {
    keyed::KeyedFile &file = library_.commandsFile();
    if (file.isOpen()) builtAt_ = file.changeMark();
}

std::optional<StoredFocus> StoredCommandMenus::choose(int32_t number, CommandConsole &console) {
    const auto readBack = [this](uint32_t recordNumber) -> std::optional<StoredCommand> {
        keyed::KeyedFile &file = library_.commandsFile();
        if (!file.isOpen() || file.readByNumber(recordNumber) != keyed::KeyedOk) return std::nullopt;
        const library::Commands &r = library_.commandsRecord();
        return StoredCommand{raw(r.frsCode), raw(r.frsCla), raw(r.frsIns), raw(r.frsP1),
                             raw(r.frsP2),   raw(r.frsP3),  raw(r.data)};
    };
    return chooseStoredEntry(plan_, number, readBack, console);
}

}  // namespace kvr::console
