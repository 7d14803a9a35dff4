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
#ifndef KVR_RUNTIME_WINDOW_POSITION_H
#define KVR_RUNTIME_WINDOW_POSITION_H

#include <string>

class QWidget;

namespace kvr::runtime {

// Notes the maximized state, switches it off, and, unless the window is
// minimized, writes Maximize, XPosit, YPosit, Width and Height.
void storeWindowPosition(QWidget *window, const std::string &section, const std::string &file);

// Puts the window back at its stored place (resizable windows also get their
// stored size) and maximizes it when Maximize is "Yes".  With XPosit 0 or
// missing nothing is restored.  A stored place that would leave the window
// on no screen is ignored.
void restoreWindowPosition(QWidget *window, const std::string &section, const std::string &file);

}  // namespace kvr::runtime

#endif
