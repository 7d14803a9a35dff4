// The product icon: a reader with a card half inserted, drawn by the
// program itself.  Every window and the program carry it.
#ifndef KVR_RUNTIME_QT_APP_ICON_H
#define KVR_RUNTIME_QT_APP_ICON_H

#include <QIcon>
#include <QPixmap>

namespace kvr::runtime::qt {

QIcon applicationIcon();
QPixmap applicationIconPixmap(int size);

}  // namespace kvr::runtime::qt

#endif
