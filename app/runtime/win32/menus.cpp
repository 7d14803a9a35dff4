#include "runtime/win32/menus.h"

#include "runtime/win32/key_code.h"
#include "runtime/win32/text.h"

#include <algorithm>

namespace kvr::runtime::win32 {

Menus::Menus(HWND window) : window_(window) {
    Entry bar;
    bar.kind = Kind::Menu;
    bar.menu = CreateMenu();
    entries_.emplace(Bar, bar);
    SetMenu(window_, bar.menu);
}

Menus::~Menus() {
    // Menus taken out of the bar are no longer destroyed with it.
    for (auto &[id, entry] : entries_)
        if (id != Bar && entry.kind == Kind::Menu && !entry.visible) DestroyMenu(entry.menu);
    SetMenu(window_, nullptr);
    DestroyMenu(entries_.at(Bar).menu);
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
}

bool Menus::add(int id, Entry entry) {
    const auto parent = entries_.find(entry.parent);
    if (id == Bar || entries_.count(id) || parent == entries_.end() || parent->second.kind != Kind::Menu) {
        if (entry.menu) DestroyMenu(entry.menu);
        return false;
    }
    parent->second.children.push_back(id);
    entries_.emplace(id, std::move(entry));
    attach(id);
    changed();
    return true;
}

bool Menus::addMenu(int id, const std::string &text, int parentId, const std::string &name) {
    Entry entry;
    entry.kind = Kind::Menu;
    entry.parent = parentId;
    entry.menu = CreatePopupMenu();
    entry.text = text;
    entry.name = name;
    return add(id, std::move(entry));
}

bool Menus::addItem(int parentId, int id, const std::string &text, std::uint32_t keyCode, const std::string &hint,
                    const std::string &name) {
    if (id < 1 || id > 0xFFFF) return false;
    Entry entry;
    entry.parent = parentId;
    entry.text = text;
    entry.keyCode = keyCode;
    entry.hint = hint;
    entry.name = name;
    return add(id, std::move(entry));
}

int Menus::addSeparator(int parentId, int id) {
    if (id == 0) id = nextSeparatorId_--;
    Entry entry;
    entry.kind = Kind::Separator;
    entry.parent = parentId;
    return add(id, std::move(entry)) ? id : 0;
}

int Menus::shownPosition(int id) const {
    const auto found = entries_.find(id);
    if (id == Bar || found == entries_.end() || !found->second.visible) return -1;
    int position = 0;
    for (int sibling : entries_.at(found->second.parent).children) {
        if (sibling == id) return position;
        if (entries_.at(sibling).visible) ++position;
    }
    return -1;
}

void Menus::attach(int id) {
    Entry &entry = entries_.at(id);
    std::wstring label = widen(entry.text);
    const std::string shortcut = keyCodeName(entry.keyCode);
    if (!shortcut.empty()) label += L"\t" + widen(shortcut);
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID;
    item.fType = entry.kind == Kind::Separator ? MFT_SEPARATOR : MFT_STRING;
    item.fState = entry.enabled ? MFS_ENABLED : MFS_GRAYED;
    item.wID = id > 0 && id <= 0xFFFF ? UINT(id) : 0;
    if (entry.kind != Kind::Separator) {
        item.fMask |= MIIM_STRING;
        item.dwTypeData = label.data();
    }
    if (entry.kind == Kind::Menu) {
        item.fMask |= MIIM_SUBMENU;
        item.hSubMenu = entry.menu;
    }
    InsertMenuItemW(entries_.at(entry.parent).menu, UINT(shownPosition(id)), TRUE, &item);
}

void Menus::detach(int id) {
    RemoveMenu(entries_.at(entries_.at(id).parent).menu, UINT(shownPosition(id)), MF_BYPOSITION);
}

void Menus::forget(int id) {
    Entry &entry = entries_.at(id);
    for (int child : entry.children) forget(child);
    // A submenu still in its menu goes with the menu it is in.
    if (entry.kind == Kind::Menu && !entry.visible) DestroyMenu(entry.menu);
    entries_.erase(id);
}

bool Menus::remove(int id) {
    if (!contains(id)) return false;
    Entry &entry = entries_.at(id);
    if (entry.visible) {
        detach(id);
        entry.visible = false;  // out of its menu now: destroyed by forget()
    }
    std::vector<int> &siblings = entries_.at(entry.parent).children;
    siblings.erase(std::find(siblings.begin(), siblings.end(), id));
    forget(id);
    changed();
    return true;
}

void Menus::setEnabled(int id, bool enabled) {
    if (!contains(id) || entries_.at(id).enabled == enabled) return;
    Entry &entry = entries_.at(id);
    entry.enabled = enabled;
    if (entry.visible)
        EnableMenuItem(entries_.at(entry.parent).menu, UINT(shownPosition(id)),
                       MF_BYPOSITION | (enabled ? MF_ENABLED : MF_GRAYED));
    changed();
}

void Menus::setVisible(int id, bool visible) {
    if (!contains(id) || entries_.at(id).visible == visible) return;
    if (visible) {
        entries_.at(id).visible = true;
        attach(id);
    } else {
        detach(id);
        entries_.at(id).visible = false;
    }
    changed();
}

bool Menus::isEnabled(int id) const { return contains(id) && entries_.at(id).enabled; }
bool Menus::isVisible(int id) const { return contains(id) && entries_.at(id).visible; }

bool Menus::canChoose(int id) const {
    for (; id != Bar; id = entries_.at(id).parent)
        if (!isEnabled(id) || !isVisible(id)) return false;
    return true;
}

int Menus::idOf(const std::string &name) const {
    if (name.empty()) return 0;
    for (const auto &[id, entry] : entries_)
        if (id != Bar && entry.name == name) return id;
    return 0;
}

std::string Menus::hint(int id) const { return contains(id) ? entries_.at(id).hint : std::string(); }
std::string Menus::text(int id) const { return contains(id) ? entries_.at(id).text : std::string(); }

HMENU Menus::menuHandle(int id) const {
    const auto found = entries_.find(id);
    return found != entries_.end() && found->second.kind == Kind::Menu ? found->second.menu : nullptr;
}

bool Menus::choose(int id) {
    if (!contains(id) || entries_.at(id).kind != Kind::Item || !canChoose(id)) return false;
    if (triggered) triggered(id);
    return true;
}

void Menus::changed() {
    std::vector<ACCEL> table;
    for (const auto &[id, entry] : entries_)
        if (entry.kind == Kind::Item && canChoose(id))
            if (const auto accel = acceleratorFor(entry.keyCode, WORD(id))) table.push_back(*accel);
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
    accelerators_ = table.empty() ? nullptr : CreateAcceleratorTableW(table.data(), int(table.size()));
    DrawMenuBar(window_);
}

}  // namespace kvr::runtime::win32
