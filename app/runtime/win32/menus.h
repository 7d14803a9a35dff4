// A window's menu bar, built and changed at run time.
//
// Every menu and item has a caller-chosen id (non-zero, unique within the
// bar; items from 1 to 0xFFFF, the command they send) and may have a name;
// both find it again.  Texts are UTF-8 with "&" before the access letter.
// Shortcuts are key codes (key_code.h), kept in an accelerator table that
// holds the shortcuts of the items that can be chosen now (shown and
// enabled, in shown and enabled menus); the menu shows a shortcut's name
// after the text.  A hidden menu or item is taken out of its menu and put
// back at its place when shown again.  An item's hint is what the window's
// status bar shows while the item is highlighted.
#ifndef KVR_RUNTIME_WIN32_MENUS_H
#define KVR_RUNTIME_WIN32_MENUS_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kvr::runtime::win32 {

class Menus {
public:
    // Parent id of the menus placed on the bar itself.
    static constexpr int Bar = 0;

    // The bar of window (set as its menu; destroyed with this object).
    explicit Menus(HWND window);
    ~Menus();
    Menus(const Menus &) = delete;
    Menus &operator=(const Menus &) = delete;

    // A menu (on the bar when parentId is Bar) or a submenu of parentId, at
    // the end.  False when the id is taken or the parent is no menu.
    bool addMenu(int id, const std::string &text, int parentId = Bar, const std::string &name = {});
    // An item at the end of menu parentId; keyCode 0 means no shortcut.
    bool addItem(int parentId, int id, const std::string &text, std::uint32_t keyCode = 0, const std::string &hint = {},
                 const std::string &name = {});
    // A separator line; it gets an id too (a negative one of its own when
    // 0) so that it can be hidden or removed.  The id, or 0 on failure.
    int addSeparator(int parentId, int id = 0);

    // Removes a menu with everything in it, or an item.  False when unknown.
    bool remove(int id);

    bool contains(int id) const { return entries_.count(id) != 0 && id != Bar; }
    void setEnabled(int id, bool enabled);
    void setVisible(int id, bool visible);
    bool isEnabled(int id) const;
    bool isVisible(int id) const;
    // Shown and enabled, in shown and enabled menus up to the bar.
    bool canChoose(int id) const;

    int idOf(const std::string &name) const;
    std::string hint(int id) const;
    // The text as given (with "&", without the shortcut).
    std::string text(int id) const;
    // The menu's own HMENU (the bar's for Bar); null for items.
    HMENU menuHandle(int id) const;
    // Where the id stands in its menu as shown now; -1 when not shown.
    int shownPosition(int id) const;
    HACCEL accelerators() const { return accelerators_; }

    // The window hands here the commands of the bar and of its shortcuts:
    // reports a known item that can be chosen now through triggered.
    bool choose(int id);
    std::function<void(int id)> triggered;

private:
    enum class Kind { Menu, Item, Separator };
    struct Entry {
        Kind kind = Kind::Item;
        int parent = Bar;
        HMENU menu = nullptr;  // Kind::Menu
        std::string text;
        std::uint32_t keyCode = 0;
        std::string hint;
        std::string name;
        bool enabled = true;
        bool visible = true;
        std::vector<int> children;
    };

    bool add(int id, Entry entry);
    void attach(int id);
    void detach(int id);
    void forget(int id);
    void changed();

    HWND window_;
    std::map<int, Entry> entries_;
    HACCEL accelerators_ = nullptr;
    int nextSeparatorId_ = -1;
};

}  // namespace kvr::runtime::win32

#endif
