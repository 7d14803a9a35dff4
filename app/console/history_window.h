// The history window HISTORIAL$WINDOW ("Utilidades > &Historial..."): the
// session's exchanges in a list, the newest at the bottom, with "&Guardar...",
// "&Copiar", "&Borrar" and "Cerrar".  It is not modal: it stays open beside
// the main window and follows the exchanges as they happen (within 40 ms:
// a burst of them is drawn once).  Its place is
// kept in section "Historial" of the settings file.
#ifndef KVR_CONSOLE_HISTORY_WINDOW_H
#define KVR_CONSOLE_HISTORY_WINDOW_H

class QWidget;

namespace kvr::runtime {
class UserInteraction;
}  // namespace kvr::runtime
namespace kvr::runtime::qt {
class Window;
}  // namespace kvr::runtime::qt

namespace kvr::session {
class ExchangeHistory;
}

namespace kvr::console {

// Opens the window over history (or brings the open one to the front) and
// returns it.  It belongs to parent and deletes itself when closed; its
// dialog and boxes go through interaction.
runtime::qt::Window *showHistoryWindow(runtime::UserInteraction &interaction, session::ExchangeHistory &history,
                                       QWidget *parent);

}  // namespace kvr::console

#endif
