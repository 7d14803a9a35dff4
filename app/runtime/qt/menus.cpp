#include "runtime/qt/menus.h"

#include "runtime/qt/key_code.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace kvr::runtime::qt {

Menus::Menus(QMenuBar *bar) : QObject(bar), bar_(bar) {}

QWidget *Menus::container(int parentId) const {
    if (parentId == Bar) return bar_;
    const auto found = menus_.find(parentId);
    return found == menus_.end() ? nullptr : found->second;
}

QMenu *Menus::addMenu(int id, const QString &text, int parentId, const std::string &name) {
    QWidget *parent = container(parentId);
    if (!parent || id == Bar || contains(id)) return nullptr;
    auto *menu = new QMenu(text, parent);
    QAction *opener = menu->menuAction();
    if (!name.empty()) {
        menu->setObjectName(QString::fromStdString(name));
        opener->setObjectName(QString::fromStdString(name));
    }
    if (parentId == Bar)
        bar_->addMenu(menu);
    else
        static_cast<QMenu *>(parent)->addMenu(menu);
    remember(id, opener);
    menus_[id] = menu;
    return menu;
}

QAction *Menus::addItem(int parentId, int id, const QString &text, uint32_t keyCode, const QString &hint,
                        const std::string &name) {
    QWidget *parent = container(parentId);
    if (!parent || id == Bar || contains(id)) return nullptr;
    auto *item = new QAction(text, parent);
    if (!name.empty()) item->setObjectName(QString::fromStdString(name));
    if (keyCode != 0) item->setShortcut(keyCodeToSequence(keyCode));
    // The status tip is what the window's status bar shows while the item
    // is highlighted.
    if (!hint.isEmpty()) item->setStatusTip(hint);
    parent->addAction(item);
    remember(id, item);
    connect(item, &QAction::triggered, this, [this, item] {
        if (const int id = idOf(item)) emit triggered(id);
    });
    return item;
}

QAction *Menus::addSeparator(int parentId, int id) {
    auto *menu = qobject_cast<QMenu *>(container(parentId));
    if (!menu) return nullptr;
    if (id < 0) {
        do id = nextSeparatorId_--;
        while (contains(id));
    }
    if (id == Bar || contains(id)) return nullptr;
    QAction *separator = menu->addSeparator();
    remember(id, separator);
    return separator;
}

void Menus::remember(int id, QAction *action) {
    actions_[id] = action;
    ids_[action] = id;
}

void Menus::forget(QAction *action) {
    const auto found = ids_.find(action);
    if (found == ids_.end()) return;
    menus_.erase(found->second);
    actions_.erase(found->second);
    ids_.erase(found);
}

bool Menus::remove(int id) {
    QAction *action = this->action(id);
    if (!action) return false;
    if (QMenu *menu = this->menu(id)) {
        // Everything inside goes with it.
        const auto children = menu->actions();
        for (QAction *child : children) {
            if (const int childId = idOf(child)) remove(childId);
        }
        forget(action);
        // The menu takes its opening action and its items with it.
        delete menu;
        return true;
    }
    forget(action);
    delete action;
    return true;
}

bool Menus::contains(int id) const { return actions_.count(id) != 0; }

void Menus::setEnabled(int id, bool enabled) {
    if (QAction *a = action(id)) a->setEnabled(enabled);
}

void Menus::setVisible(int id, bool visible) {
    if (QAction *a = action(id)) a->setVisible(visible);
}

bool Menus::isEnabled(int id) const {
    const QAction *a = action(id);
    return a && a->isEnabled();
}

bool Menus::isVisible(int id) const {
    const QAction *a = action(id);
    return a && a->isVisible();
}

QAction *Menus::action(int id) const {
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

QMenu *Menus::menu(int id) const {
    const auto found = menus_.find(id);
    return found == menus_.end() ? nullptr : found->second;
}

int Menus::idOf(const std::string &name) const {
    const QString wanted = QString::fromStdString(name);
    for (const auto &[id, action] : actions_)
        if (action->objectName() == wanted && !wanted.isEmpty()) return id;
    return 0;
}

int Menus::idOf(const QAction *action) const {
    const auto found = ids_.find(action);
    return found == ids_.end() ? 0 : found->second;
}

}  // namespace kvr::runtime::qt
