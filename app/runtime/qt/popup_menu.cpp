#include "runtime/qt/popup_menu.h"

#include <QAction>
#include <QMenu>

namespace kvr::runtime::qt {

int popupMenu(const std::vector<PopupItem> &items, const QPoint &globalPosition, QWidget *parent) {
    QMenu menu(parent);
    menu.setObjectName(QStringLiteral("popup"));
    for (std::size_t i = 0; i < items.size(); ++i) {
        QAction *action = menu.addAction(items[i].text);
        action->setEnabled(items[i].enabled);
        action->setData(static_cast<int>(i) + 1);
    }
    const QAction *chosen = menu.exec(globalPosition);
    return chosen ? chosen->data().toInt() : 0;
}

}  // namespace kvr::runtime::qt
