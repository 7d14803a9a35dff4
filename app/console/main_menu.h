// The main window's menu bar: the ids and names of its menus and items, and
// the building of the fixed part (the stored-command entries are added to
// the "&Tarjeta" menu later, with ids from 1001).
#ifndef KVR_CONSOLE_MAIN_MENU_H
#define KVR_CONSOLE_MAIN_MENU_H

#include "session/menu_plan.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kvr::runtime::qt {
class Menus;
}  // namespace kvr::runtime::qt

namespace kvr::console {

enum MainMenuId : int {
    // "&Lector"
    MenuReader = 100,
    ItemReset,
    ItemStatusRequest,
    ItemInsertCard,
    MenuSelectCardType,
    ItemSelectAsync,
    ItemSelectQx256,
    ItemSelectQxP2K,
    ItemSelectQx416,
    ItemSelectQxExK,
    ItemSelectQxExKExtended,
    ItemActivateCard,
    MenuActivateCard,
    ItemActivateAsync,
    ItemActivateQxP2K,
    ItemActivateQx416,
    ItemActivateQxExK,
    ItemActivateGpm896,
    MenuActivateSam,
    ItemActivateSam1,
    ItemActivateSam2,
    ItemActivateSam3,
    ItemDeactivateSam,
    ItemDeactivateCard,
    ItemExtractCard,
    SeparatorReaderInfo,
    ItemInfo,
    SeparatorReaderExit,
    ItemExit,
    // "&Edición"
    MenuEdit = 200,
    ItemCut,
    ItemCopy,
    ItemPaste,
    ItemDelete,
    // "&Tarjeta"
    MenuCard = 300,
    ItemCardIsoOut,
    ItemCardIsoIn,
    SeparatorCard,
    ItemCardCommands,
    // "&SAM"
    MenuSam = 400,
    ItemSamIsoOut,
    ItemSamIsoIn,
    SeparatorSam,
    ItemSamCommands,
    // "&Utilidades"
    MenuUtilities = 500,
    ItemCommandBrowser,
    ItemImport,
    ItemHistory,
    ItemRunScript,
    // "A&yuda"
    MenuHelp = 600,
    ItemAbout,
};

// Builds the whole fixed menu bar, in order, with access letters, shortcuts
// and hints; the "[Comandos]" placeholders are disabled.  Every menu and item
// is named after its id's meaning ("reader.reset", "card.isoIn", ...).
void buildMainMenu(runtime::qt::Menus &menus);

// The shortcuts of the fixed items that act (Cor&tar, &Copiar, &Pegar,
// &Eliminar): a stored command with one of these hot keys gets no shortcut,
// the fixed item keeps it.  The "[Comandos]" placeholders' F12 and F2 are not
// among them: those items are never enabled, so their keys would choose
// nothing, and a stored command may take them (F2 is the usual example).
std::vector<uint32_t> keysKeptByFixedItems();

// The command an item prepares in the console, if it is such an item.
std::optional<session::MenuCommand> preparedBy(int itemId);

// Applies the menu adjustment to the bar.
void applyMenuLayout(runtime::qt::Menus &menus, const session::MenuLayout &layout);

}  // namespace kvr::console

#endif
