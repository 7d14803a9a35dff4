// What the reader, card and SAM menus do: the commands their items prepare
// and which items the identified reader is offered.
#ifndef KVR_SESSION_MENU_PLAN_H
#define KVR_SESSION_MENU_PLAN_H

#include "session/reader_identification.h"
#include "session/reader_link.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace kvr::session {

// The menu items that prepare a command in the console.
enum class MenuCommand {
    StatusRequest,        // "&Petición de Estado"
    InsertCard,           // "&Insertar Tarjeta"
    SelectAsync,          // select "&Asincronas T=0"
    SelectQx256,          // select "Sincronas QX&256"
    SelectQxP2K,          // select "Sincronas QX&P2K"
    SelectQx416,          // select "Síncronas QX&416"
    SelectQxExK,          // select "Síncronas QX&ExK"
    SelectQxExKExtended,  // select "Síncronas QXExK E&xtendida"
    ActivateCard,         // the "&Activar Tarjeta" item
    ActivateAsync,        // activate "&Asíncronas T=0"
    ActivateQxP2K,        // activate "Síncronas QX&P2K"
    ActivateQx416,        // activate "Síncronas QX&416"
    ActivateQxExK,        // activate "Síncronas QX&ExK"
    ActivateGpm896,       // activate "Síncronas &GPM896"
    ActivateSam1,         // "SAM #&1"
    ActivateSam2,         // "SAM #&2"
    ActivateSam3,         // "SAM #&3"
    DeactivateSam,        // "Desactivar SAM"
    DeactivateCard,       // "&Desactivar Tarjeta"
    ExtractCard,          // "&Extraer Tarjeta"
    CardIsoOut,           // "&Tarjeta" "Comando ISO &Out"
    CardIsoIn,            // "&Tarjeta" "Comando ISO &In"
    SamIsoOut,            // "&SAM" "Comando ISO &Out"
    SamIsoIn,             // "&SAM" "Comando ISO &In"
};

struct PreparedCommand {
    CommandHeader header;
    std::optional<uint8_t> currentSam;       // set when the item chooses a SAM
    std::optional<bool> requestDataEnabled;  // set by the ISO Out / ISO In items
};

// The command an item prepares, given the SAM activated last (0 for none).
PreparedCommand prepareCommand(MenuCommand item, uint8_t currentSam);

// Which items the identified reader is offered.
struct MenuLayout {
    // Shown or hidden.
    bool selectCardTypeShown = true;    // "&Seleccionar Tipo de Tarjeta" submenu (basic)
    bool activateCardItemShown = true;  // "&Activar Tarjeta" item (basic)
    bool activateCardMenuShown = true;  // "&Activar Tarjeta" submenu (extended)
    bool activateSamShown = true;       // "Activar SA&M" submenu (extended)
    bool deactivateSamShown = true;     // "Desactivar SAM" (extended)
    bool samMenuShown = true;           // "&SAM" menu (extended)
    // Enabled or disabled.
    bool activateSamEnabled = true;
    bool deactivateSamEnabled = true;
    bool samMenuEnabled = true;
    std::array<bool, 3> samSlotEnabled{true, true, true};
    // The card types of "&Seleccionar Tipo de Tarjeta", in menu order:
    // T=0, QX256, QXP2K, QX416, QXExK, QXExK extended.
    std::array<bool, 6> selectCardTypeEnabled{true, false, false, false, false, false};
};

// Asks SAM slot 1..3 for its status; returns the driver result.
using SamProbe = std::function<int32_t(uint8_t slot)>;

// The menu adjustment after the identification.  A failed identification
// changes nothing; an extended reader probes its three SAM slots; a basic
// reader gets the synchronous card type of its model letter.
MenuLayout adjustMenus(const ReaderIdentification &identification, const SamProbe &probe);

}  // namespace kvr::session

#endif
