// Window places kept in the settings file between runs.
//
// A window section (Main, InfoLector, About, BrowseCMD, UpdateCommands)
// holds Maximize ("Yes"/"No"), XPosit, YPosit, Width and Height: the place
// and size of the window inside its frame (QWidget::geometry, menu bar and
// status bar included), in dialog units of the window's own font, so that a
// stored place means the same at any font size.  A value of 0 counts as
// nothing stored.
//
// Each window of that table calls restoreWindowPosition right after it has
// opened and storeWindowPosition just before it closes, passing the settings
// file (settings_file.h) and its own section.
#ifndef KVR_RUNTIME_QT_WINDOW_POSITION_H
#define KVR_RUNTIME_QT_WINDOW_POSITION_H

#include <QPoint>
#include <QRect>
#include <QSize>

#include <string>

class QWidget;

namespace kvr::runtime::qt {

// Notes the maximized state, switches it off, and, unless the window is
// minimized, writes Maximize, XPosit, YPosit, Width and Height.
void storeWindowPosition(QWidget *window, const std::string &section, const std::string &file);

// Puts the window back at its stored place (resizable windows also get their
// stored size) and maximizes it when Maximize is "Yes".  With XPosit 0 or
// missing nothing is restored.  A stored place that would leave the window
// on no screen is ignored.
void restoreWindowPosition(QWidget *window, const std::string &section, const std::string &file);

// The first place of a window that has none stored, next to the window it
// belongs to (`beside`, its frame): to its right, else to its left, else
// below it, the first where the window (frame of size `frame`) fits on the
// screen's free area `available`; where none does, as far right as the
// screen lets it; always inside `available` as far as its size allows.
// The frame's top-left corner.
[[nodiscard]] QPoint placeBeside(const QRect &beside, const QSize &frame, const QRect &available);

// The window's first place beside `beside` (placeBeside on its screen); a
// window larger than the screen is first made as small as the screen.
void placeWindowBeside(QWidget *window, const QWidget *beside);

}  // namespace kvr::runtime::qt

#endif
