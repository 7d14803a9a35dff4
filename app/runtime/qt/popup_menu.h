// Popup menus: a short menu at the pointer that waits for a choice.
#ifndef KVR_RUNTIME_QT_POPUP_MENU_H
#define KVR_RUNTIME_QT_POPUP_MENU_H

#include <QPoint>
#include <QString>

#include <vector>

class QWidget;

namespace kvr::runtime::qt {

struct PopupItem {
    QString text;  // with "&" before the access letter
    bool enabled = true;
};

// Shows the items at a global position and waits: the number (from 1) of the
// item chosen, 0 when the menu was left without a choice.
int popupMenu(const std::vector<PopupItem> &items, const QPoint &globalPosition, QWidget *parent);

}  // namespace kvr::runtime::qt

#endif
