// Title bars: how wide a window must be for its title bar to show the title
// whole, with the window menu and the close, minimize and maximize buttons
// beside it.  The title bar is drawn by the window manager, in a font of its
// own; the measure is the program style's title bar in a bold system font,
// which is at least as wide as the title bars of the common desktops.
#ifndef KVR_RUNTIME_QT_TITLE_BAR_H
#define KVR_RUNTIME_QT_TITLE_BAR_H

#include <QFont>
#include <QString>

class QStyle;
class QStyleOptionTitleBar;

namespace kvr::runtime::qt {

// The font the measure takes for a title.
QFont titleBarFont();

// The title bar of a window of width `width` showing `title`, as the style
// draws one (screenshots draw it over a picture of the window).
QStyleOptionTitleBar titleBarOption(const QString &title, int width, const QStyle &style);

// The least width, in pixels, of a window whose title bar shows `title`
// without cutting it.
[[nodiscard]] int titleBarWidth(const QString &title, const QStyle &style);

}  // namespace kvr::runtime::qt

#endif
