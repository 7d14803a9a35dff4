// The reader information window INFOLECTOR$WINDOW and the About window
// ABOUT$WINDOW.  Each runs its own event loop nested in the caller's and
// keeps its place in the settings file.
#ifndef KVR_CONSOLE_INFO_WINDOWS_H
#define KVR_CONSOLE_INFO_WINDOWS_H

#include "session/reader_identification.h"
#include "runtime/user_interaction.h"
#include "runtime/window.h"

#include <string>

namespace kvr::console {

// Shows the identification learnt when the main window opened and the port
// name; it does not talk to the reader.
void runReaderInfoWindow(runtime::UserInteraction &interaction, const session::ReaderIdentification &identification,
                         const std::string &portName, runtime::Window *parent = nullptr);

// libraryPlace: where the command library is (CommandsLibrary::placeText),
// shown under the notice; nothing when empty.
void runAboutWindow(runtime::UserInteraction &interaction, runtime::Window *parent = nullptr,
                    const std::string &libraryPlace = {});

// The About window's texts.
inline constexpr const char *kAboutProduct = "Kvr Manager V3.01";
inline constexpr const char *kAboutNotice = "Lectores KVR7x - versión 3.01";
inline constexpr const char *kAboutContact = "Proyecto abierto: véase README";
inline constexpr const char *kAboutLibrary = "Biblioteca: ";

}  // namespace kvr::console

#endif
