// The look of the program's widgets: the platform's own style, with one
// change of behaviour.  A disabled menu item can be highlighted, by the
// pointer or the arrow keys, so that its hint shows in the status bar: a
// card type the reader cannot take says there which reader can.
#ifndef KVR_RUNTIME_QT_PROGRAM_STYLE_H
#define KVR_RUNTIME_QT_PROGRAM_STYLE_H

namespace kvr::runtime::qt {

// Puts the style in place for the application; after QApplication is made.
void useProgramStyle();

}  // namespace kvr::runtime::qt

#endif
