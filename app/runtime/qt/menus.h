// Menu bars built and changed at run time.
//
// Every menu and item has a caller-chosen id (non-zero, unique within the
// bar) and may have a name; both find it again.  Texts carry access letters
// with "&".  Shortcuts are key codes (key_code.h).  An item's hint is shown
// in the window's status bar while the item is highlighted.
#ifndef KVR_RUNTIME_QT_MENUS_H
#define KVR_RUNTIME_QT_MENUS_H

#include <QObject>
#include <QString>

#include <cstdint>
#include <map>
#include <unordered_map>
#include <string>

class QAction;
class QMenu;
class QMenuBar;

namespace kvr::runtime::qt {

class Menus : public QObject {
    Q_OBJECT
public:
    // Parent id of the menus placed on the bar itself.
    static constexpr int Bar = 0;

    explicit Menus(QMenuBar *bar);

    // A menu (on the bar when parentId is Bar) or a submenu of parentId.
    QMenu *addMenu(int id, const QString &text, int parentId = Bar, const std::string &name = {});

    // An item at the end of menu parentId.  keyCode 0 means no shortcut.
    QAction *addItem(int parentId, int id, const QString &text, uint32_t keyCode = 0, const QString &hint = {},
                     const std::string &name = {});

    // A separator line; it gets an id too so that it can be hidden or removed.
    QAction *addSeparator(int parentId, int id = -1);

    // Removes a menu with everything in it, or an item.  False when unknown.
    bool remove(int id);

    bool contains(int id) const;
    void setEnabled(int id, bool enabled);
    void setVisible(int id, bool visible);
    bool isEnabled(int id) const;
    bool isVisible(int id) const;

    // The action of an item, or the action that opens a menu; null if unknown.
    QAction *action(int id) const;
    // The menu with that id; null for items and unknown ids.
    QMenu *menu(int id) const;
    // The id of the menu or item with that name, 0 if none.
    int idOf(const std::string &name) const;
    int idOf(const QAction *action) const;

    QMenuBar *bar() const { return bar_; }

signals:
    // An item was chosen (pointer, access letter or shortcut).
    void triggered(int id);

private:
    QWidget *container(int parentId) const;
    void remember(int id, QAction *action);
    void forget(QAction *action);

    QMenuBar *bar_;
    int nextSeparatorId_ = -1;
    std::map<int, QAction *> actions_;
    std::unordered_map<const QAction *, int> ids_;  // actions_ the other way round
    std::map<int, QMenu *> menus_;
};

}  // namespace kvr::runtime::qt

#endif
